#pragma once

// The comparison records every layer exchanges.
#include "engine/AppError.h"
#include "engine/CapturedDeviceState.h"
#include "engine/ComparisonHistoryEntry.h"
#include "engine/ComparisonIssue.h"
#include "engine/ComparisonResult.h"
#include "engine/ComparisonSettings.h"
#include "engine/DesignNode.h"
#include "engine/DeviceConnectionState.h"
#include "engine/DeviceElement.h"
#include "engine/DeviceRecords.h"
#include "engine/EnvironmentCheck.h"
#include "engine/Geometry.h"
#include "engine/ImageHelpers.h"
#include "engine/ImportedDesign.h"
#include "engine/Selectors.h"
