// Project files (.cvp): a scene's channels, their data, links and roots.
//
// Layout (all integers little-endian):
//   magic "CVPJ", uint32 version
//   uint32 channel count; per channel: uint32 instance id, GUID type (16 bytes), uint8 flags
//     (bit 0: shared channel), uint32 name length + name bytes (instance name), uint32 stream
//     length + the channel's chunk stream
//   uint32 link count; per link: uint32 parent id, uint32 link index, uint32 order, uint32 child id
//   uint32 root count; per root: uint32 instance id
//   scene settings as a trailing chunk stream: "STEP" [float frame step], "FRMS" [int32 frame
//     count], both required, nothing after them
// Every length and count is checked against what the file can still hold before anything is
// allocated. Saving what was loaded gives the same bytes.
//
// Saving writes the group's channels in group order with their position as instance id, each
// link of each channel in link order (order = position within a many-children link), and the
// roots in order. Loading accepts any distinct ids, and refuses (with "<name>: offset N: ...") a
// wrong magic or version (1), counts the rest of the file cannot hold, unknown channel types or
// flags, duplicate ids, a channel whose LoadChannel fails or leaves its loader in error (the
// message names the channel), links to undeclared link indices, to unknown ids, of a child type
// the link does not accept (through the loaded types' base chain), a second child on a one-child
// link, many-children positions out of order, links that form a cycle, unknown root ids, and
// missing or trailing settings bytes. A shared channel (flag bit 0) is fetched through
// Engine::GetSharedChannel(type, name), its old links are cut, then it is loaded like any other;
// the group references it without owning it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Zel_ChannelGroup;

namespace corvane::host {

class Engine;

// Settings a scene carries besides its channels.
struct SceneSettings {
  float frameStep = 1.0f;  // frames of 1/25 s the clock advances per rendered frame
  int frameCount = 50;     // frames `corvane run` renders by default
};

// Serialises the group. False with *error set when a channel fails to save.
bool SaveProject(Engine& engine, Zel_ChannelGroup& group, const SceneSettings& settings,
                 std::vector<uint8_t>* bytes, std::string* error);
bool SaveProjectFile(Engine& engine, Zel_ChannelGroup& group, const SceneSettings& settings,
                     const std::string& path, std::string* error);

// Builds a group from project bytes. Null with *error naming the file (`name`), the offset and
// what is wrong on any malformed input.
std::unique_ptr<Zel_ChannelGroup> LoadProject(Engine& engine, const uint8_t* data, std::size_t size,
                                              const std::string& name, SceneSettings* settings,
                                              std::string* error);
std::unique_ptr<Zel_ChannelGroup> LoadProjectFile(Engine& engine, const std::string& path,
                                                  SceneSettings* settings, std::string* error);

}  // namespace corvane::host
