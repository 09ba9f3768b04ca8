// The report of `nimbrel-list check`: readable text, or JSON for a maker's own pipeline.
#pragma once

#include <string>

#include "maker/list_check.h"

std::string ReportText(const CheckInput& input, const CheckReport& report);
std::string ReportJson(const CheckInput& input, const CheckReport& report);
