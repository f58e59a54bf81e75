// Starting a verified installer so that it outlives the program that started it.
#pragma once

#include <filesystem>
#include <string>

namespace kestrava::update {

// Runs the file in a session of its own, not waited for. False (with the reason) when it could
// not be started.
bool startDetached(const std::filesystem::path& program, std::string& error);

} // namespace kestrava::update
