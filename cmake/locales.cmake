# Test locales compiled with localedef into the build tree.
