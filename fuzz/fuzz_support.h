// What the fuzz targets share: a scratch file for code that reads a path,
// and a check that ends the run, so that libFuzzer keeps the input that
// broke a rule.
#ifndef TALLYGATE_FUZZ_FUZZ_SUPPORT_H_
#define TALLYGATE_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tallygate::fuzz {

// A folder of this process's own under $TMPDIR (or /tmp), removed at exit.
const std::filesystem::path& ScratchFolder();

// Writes `size` bytes to the file `name` in the scratch folder, replacing
// what it held, and returns its path.
std::filesystem::path WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// Ends the run with `rule` when `holds` is false.
void Require(bool holds, const char* rule);

}  // namespace tallygate::fuzz

#endif  // TALLYGATE_FUZZ_FUZZ_SUPPORT_H_
