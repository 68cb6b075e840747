// Text scenes (JSON): channels by type name or GUID, properties by stem, links by link name, data
// for the types' data hooks, roots, camera, frame step and frame count.
//
// {
//   "frameStep": 1.0, "frames": 50,
//   "camera": { "position": [0, 5, -10], "target": [0, 0, 0], "fov": 0.785 },
//   "channels": [
//     { "id": "emitter", "type": "DX8 ParticleEmitter",
//       "properties": { "BirthPeriod": 40, "Shape": "ShapeSphere", "AccVector0": [0, -9.8, 0] },
//       "data": { ... },
//       "links": { "Particle Emitter": "emitter", "Multiply Matrices": ["a", "b"] } },
//     { "id": "ctx", "type": "5E08C4B3-D96A-4F21-B7E5-0A3F8D62C19B", "shared": "" }
//   ],
//   "roots": ["beam"]
// }
#pragma once

#include <memory>
#include <string>

#include "corvane/d3dx_math.h"
#include "corvane/host/project_file.h"

class Zel_ChannelGroup;

namespace corvane::host {

class Engine;

struct SceneCamera {
  bool present = false;
  D3DXVECTOR3 position{0, 5, -10};
  D3DXVECTOR3 target{0, 0, 0};
  float fov = 0.785398f;  // vertical field of view, radians
};

struct LoadedScene {
  std::unique_ptr<Zel_ChannelGroup> group;
  SceneSettings settings;
  SceneCamera camera;
};

// Parses and builds a scene. On any error returns false with *error naming the file (`name`), the
// channel and the word at fault; nothing is built then.
bool LoadSceneText(Engine& engine, const std::string& text, const std::string& name,
                   LoadedScene* scene, std::string* error);
bool LoadSceneFile(Engine& engine, const std::string& path, LoadedScene* scene, std::string* error);

}  // namespace corvane::host
