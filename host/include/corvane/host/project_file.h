// Project files (.cvp): a scene's channels, their data, links and roots.
//
// Layout (all integers little-endian):
//   magic "CVPJ", uint32 version
//   uint32 channel count; per channel: uint32 instance id, GUID type (16 bytes), uint8 flags
//     (bit 0: shared channel), uint32 name length + name bytes (instance name), uint32 stream
//     length + the channel's chunk stream
//   uint32 link count; per link: uint32 parent id, uint32 link index, uint32 order, uint32 child id
//   uint32 root count; per root: uint32 instance id
//   scene settings (frame step, frame count) as a trailing chunk stream
// Every length and count is checked against what the file can still hold before anything is
// allocated. Saving what was loaded gives the same bytes.
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
