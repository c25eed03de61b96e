#pragma once

namespace qb {

class SingleInstance;
class TSDIAppForm;

// A later start of the program brings this window forward and has it open the file that
// start was given.
void followLaterStarts(SingleInstance& instance, TSDIAppForm& form);

} // namespace qb
