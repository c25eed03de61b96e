#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace qb::fuzz {

// A file of this fuzzer process for the readers that take a file name; removed at the end.
QString scratchFile(const char* name);
void writeScratch(const QString& file, const uint8_t* data, size_t size);

// Ends the run as a finding when a property does not hold.
void require(bool holds, const char* property);

// Dates and file names behave as on a Chinese desktop.
void useChineseLocale();

} // namespace qb::fuzz
