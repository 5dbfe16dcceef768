#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

#include "model/StateStore.h"

namespace tandemo {

// "output 03 00 01 07 00 42": the report type, then each data byte as two lower-case hex digits.
std::string packetLine(const Rival500::Packet& packet);

// The scriptable listing: control lines in display order, then each profile and its actions.
void printTsv(const AppState& state, std::ostream& out);

// The same facts laid out for people.
void printReadable(const LoadResult& loaded, const std::filesystem::path& file, std::ostream& out);

}  // namespace tandemo
