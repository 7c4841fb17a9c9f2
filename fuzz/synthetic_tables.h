// A full pair of code tables made up for fuzzing, so that names can be
// mapped on a Traditional-Chinese system without the generated "rm.txt".
// Every entry is a plausible code except a few that are not hexadecimal at
// all, as a damaged file would hold.
#ifndef TALLYGATE_FUZZ_SYNTHETIC_TABLES_H_
#define TALLYGATE_FUZZ_SYNTHETIC_TABLES_H_

#include <string>

namespace tallygate::fuzz {

// The text of such an "rm.txt", CR LF line ends.
std::string SyntheticRmTxt();

// Writes it to the scratch folder and loads it as the process's tables.
void LoadSyntheticTables();

}  // namespace tallygate::fuzz

#endif  // TALLYGATE_FUZZ_SYNTHETIC_TABLES_H_
