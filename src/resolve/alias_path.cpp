#include "resolve/resolve.h"

#ifndef TVK_ALIAS_PATH
#define TVK_ALIAS_PATH "/usr/share/locale/locale.alias"
#endif

const char tvk_alias_path[] = TVK_ALIAS_PATH;
