#pragma once
// What every fuzz target shares. A target defines LLVMFuzzerTestOneInput and
// Seeds(). Started with --write-seeds=DIR it writes its seeds into DIR and
// ends instead of fuzzing: the starting corpus is made by the box's own
// writers at build time, so no binary sample lives in the repository.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace box::fuzz {

// Inputs that reach deep into the target's parser.
std::vector<std::string> Seeds();

// A promise the code under test makes. When it is broken the run ends as on a
// crash, and libFuzzer keeps the input.
void Check(bool ok, const char* promise);

// An input as FuzzedDataProvider reads it: each string the way
// ConsumeRandomLengthString takes it (backslashes doubled, ended by a
// backslash and another byte), then rest as it stands. ConsumeIntegral and
// friends take their bytes from the end of rest, last byte first.
std::string ProviderInput(std::initializer_list<std::string_view> strings,
                          std::string_view rest = {});

}  // namespace box::fuzz
