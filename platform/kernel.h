// Windows kernel services, as the library calls them.
#pragma once

#include "platform/kernel/codepage.h"
#include "platform/kernel/files.h"
#include "platform/kernel/modules.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/system.h"
#include "platform/kernel/threads.h"
#include "platform/kernel/time.h"
#include "platform/types.h"
