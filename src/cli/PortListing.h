// list-ports: the serial ports there are now, each with the names that stay with its adapter.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quillon::cli {

bool IsListPortsCommand(const std::vector<std::string>& args);
int ListPorts(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace quillon::cli
