// The console and the entry point of every tool: the only place where a tool
// knows which platform it runs on.
#pragma once
#include <string>
#include <vector>

namespace vtool {

// A console takes UTF-16 as is; a pipe or a file gets UTF-8.
void WriteOut(const std::u16string& sText);
void WriteErr(const std::u16string& sText);

// Each tool defines its program here; the entry point calls it with the
// arguments as UTF-16 and returns its exit status.
int RunTool(const std::vector<std::u16string>& args);

}  // namespace vtool
