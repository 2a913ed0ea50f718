// A first package description from a folder of a saver's files: which file
// is the engine, the preview, the licence and so on is guessed from names
// and extensions, and every field gets a sibling "//field" key that explains
// it. The description reads back cleanly before it is written, so
// "saverpack build" takes it unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Writes the description of `folder` to `output`, which must not exist yet.
// Returns what was guessed, one line each ("engine: files/Aquarium.scr").
// Symbolic links in `folder` are followed when they stay inside it; one that
// leads outside is refused, named (see checkStaysInside). Throws ToolError naming the file or
// folder and the problem; nothing is written then.
std::vector<std::string> writeStartingDescription(const std::filesystem::path& folder,
                                                  const std::filesystem::path& output);
