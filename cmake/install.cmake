# Install tree, catalogs, manual page and package rules.
