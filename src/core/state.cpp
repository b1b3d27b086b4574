#include "core/state.h"

tvk_record tvk_state;
