#include "drives/drive_registry.h"

// The process's registry, defined with the other process-wide objects.
extern DriveRegistry theDriveRegistry;

bool GetDriveInfo(uint32_t index, DriveInfo& info) { return theDriveRegistry.GetDriveInfo(index, info); }

uint32_t GetDriveCount() { return theDriveRegistry.GetDriveCount(); }
