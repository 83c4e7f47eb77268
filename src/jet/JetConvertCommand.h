#pragma once

// `orvalent --convert-jet <old.mdb> <new.mdb>`: converts an old memo book into a new file,
// by hand or for the program, which runs it as a process of its own. It limits its own memory
// and processor time, reports progress and counts on standard output and a failure's reason
// on standard error, and ends with the outcome's exit code.
namespace JetConvertCommand {

inline constexpr const char* Option = "--convert-jet";

// argv as given to main(); argv[1] is the option.
int run(int argc, char* argv[]);

} // namespace JetConvertCommand
