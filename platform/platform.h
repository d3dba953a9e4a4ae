// The platform layer: the suite's own stand-ins for the operating system.
#pragma once
#include "platform/plat_adapter_lock.h"
#include "platform/plat_device.h"
#include "platform/plat_files.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_proc.h"
#include "platform/plat_registry.h"
#include "platform/plat_sync.h"
#include "platform/plat_time.h"
