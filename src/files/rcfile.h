// The settings (rc) file: locale, root and spell-checker of the last launch.
#pragma once

void tvk_rcfile_read();
void tvk_rcfile_write();
