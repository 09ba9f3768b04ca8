// The report of `nimbrel-list check`: readable text, or JSON for a maker's own pipeline.
#pragma once

#include <string>

#include "maker/list_check.h"

// One finding on one line: "error id (element, line N): message".
std::string FindingText(const Finding& finding);
std::string ReportText(const CheckInput& input, const CheckReport& report);
std::string ReportJson(const CheckInput& input, const CheckReport& report);
