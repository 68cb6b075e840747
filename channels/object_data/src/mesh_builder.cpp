#include "mesh_builder.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

namespace corvane {

namespace {

constexpr float kPi = 3.14159265f;

// Adds a quad seen from outside with corners top-left, top-right, bottom-right, bottom-left.
void AddQuad(MeshData* m, const D3DXVECTOR3 (&c)[4], const D3DXVECTOR3& n, const D3DXVECTOR2 (&uv)[4]) {
  const uint16_t base = uint16_t(m->positions.size());
  for (int i = 0; i < 4; ++i) {
    m->positions.push_back(c[i]);
    m->normals.push_back(n);
    m->uvs.push_back(uv[i]);
  }
  for (int k : {0, 1, 2, 0, 2, 3}) m->indices.push_back(uint16_t(base + k));
}

}  // namespace

void MakeBox(float size, MeshData* m) {
  *m = MeshData();
  const float h = size * 0.5f;
  const D3DXVECTOR3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (const D3DXVECTOR3& n : normals) {
    // The viewer outside looks along -n; "up" on the face is +y, or +z for the top and bottom.
    D3DXVECTOR3 up = std::fabs(n.y) > 0.5f ? D3DXVECTOR3(0, 0, 1) : D3DXVECTOR3(0, 1, 0);
    D3DXVECTOR3 forward = -n, right;
    D3DXVec3Cross(&right, &up, &forward);
    const D3DXVECTOR3 c = n * h, r = right * h, u = up * h;
    const D3DXVECTOR3 corners[4] = {c - r + u, c + r + u, c + r - u, c - r - u};
    const D3DXVECTOR2 uv[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    AddQuad(m, corners, n, uv);
  }
}

void MakeSphere(float size, int segments, MeshData* m) {
  *m = MeshData();
  const int S = segments < 3 ? 3 : (segments > 256 ? 256 : segments);
  const int R = S / 2 < 2 ? 2 : S / 2;
  const float r = size * 0.5f;
  for (int i = 0; i <= R; ++i) {
    const float theta = kPi * float(i) / float(R);
    for (int j = 0; j <= S; ++j) {
      const float phi = 2.0f * kPi * float(j) / float(S);
      D3DXVECTOR3 n(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
      m->positions.push_back(n * r);
      m->normals.push_back(n);
      m->uvs.push_back(D3DXVECTOR2(float(j) / float(S), float(i) / float(R)));
    }
  }
  // As j grows the point moves right for a viewer outside, as i grows it moves down.
  for (int i = 0; i < R; ++i)
    for (int j = 0; j < S; ++j) {
      const uint16_t tl = uint16_t(i * (S + 1) + j), tr = uint16_t(tl + 1);
      const uint16_t bl = uint16_t(tl + S + 1), br = uint16_t(bl + 1);
      for (uint16_t k : {tl, tr, br, tl, br, bl}) m->indices.push_back(k);
    }
}

void MakeGrid(float size, int cells, MeshData* m) {
  *m = MeshData();
  const int N = cells < 1 ? 1 : (cells > 254 ? 254 : cells);
  const float h = size * 0.5f, step = size / float(N);
  for (int j = 0; j <= N; ++j)
    for (int i = 0; i <= N; ++i) {
      m->positions.push_back(D3DXVECTOR3(-h + i * step, 0, -h + j * step));
      m->normals.push_back(D3DXVECTOR3(0, 1, 0));
      m->uvs.push_back(D3DXVECTOR2(float(i), float(N - j)));
    }
  // Seen from above (up on screen is +z): top-left is (i, j + 1).
  for (int j = 0; j < N; ++j)
    for (int i = 0; i < N; ++i) {
      const uint16_t bl = uint16_t(j * (N + 1) + i), br = uint16_t(bl + 1);
      const uint16_t tl = uint16_t(bl + N + 1), tr = uint16_t(tl + 1);
      for (uint16_t k : {tl, tr, br, tl, br, bl}) m->indices.push_back(k);
    }
}

namespace {

// Parses "v", "v/t", "v//n" or "v/t/n" into 1-based or negative indices (0 = absent).
bool ParseFaceVertex(const std::string& tok, long* v, long* t, long* n) {
  *v = *t = *n = 0;
  long* out[3] = {v, t, n};
  size_t start = 0;
  for (int part = 0; part < 3; ++part) {
    size_t slash = tok.find('/', start);
    std::string s = tok.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!s.empty()) {
      char* end = nullptr;
      long value = std::strtol(s.c_str(), &end, 10);
      if (!end || *end != '\0' || value == 0) return false;
      *out[part] = value;
    } else if (part == 0) {
      return false;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

// Turns a 1-based or negative OBJ index into a 0-based one, or -1 when out of range.
long Resolve(long index, size_t count) {
  if (index > 0) return size_t(index) <= count ? index - 1 : -1;
  if (index < 0) return size_t(-index) <= count ? long(count) + index : -1;
  return -1;
}

}  // namespace

bool LoadObjMesh(const std::string& path, int maxVertices, MeshData* mesh, std::string* error) {
  *mesh = MeshData();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  in.seekg(0, std::ios::beg);
  if (length < 0 || length > (64 << 20)) {
    *error = path + " is larger than 64 MiB";
    return false;
  }
  std::vector<D3DXVECTOR3> vs, ns;
  std::vector<D3DXVECTOR2> ts;
  std::map<std::tuple<long, long, long>, uint16_t> unique;
  bool anyNormal = false, anyUv = false;
  std::vector<std::tuple<long, long, long>> corners;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    std::istringstream ls(line);
    std::string kind;
    if (!(ls >> kind) || kind[0] == '#') continue;
    auto where = [&]() { return path + ":" + std::to_string(lineNo) + ": "; };
    if (kind == "v" || kind == "vn") {
      float x, y, z;
      if (!(ls >> x >> y >> z) || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        *error = where() + "malformed " + kind;
        return false;
      }
      (kind == "v" ? vs : ns).push_back(D3DXVECTOR3(x, y, -z));
    } else if (kind == "vt") {
      float u, v = 0;
      if (!(ls >> u)) {
        *error = where() + "malformed vt";
        return false;
      }
      ls >> v;
      ts.push_back(D3DXVECTOR2(u, 1.0f - v));
    } else if (kind == "f") {
      corners.clear();
      std::string tok;
      while (ls >> tok) {
        long v, t, n;
        if (!ParseFaceVertex(tok, &v, &t, &n)) {
          *error = where() + "malformed face vertex \"" + tok + "\"";
          return false;
        }
        long rv = Resolve(v, vs.size());
        long rt = t ? Resolve(t, ts.size()) : -2;
        long rn = n ? Resolve(n, ns.size()) : -2;
        if (rv < 0 || rt == -1 || rn == -1) {
          *error = where() + "face index out of range";
          return false;
        }
        corners.emplace_back(rv, rt, rn);
      }
      if (corners.size() < 3) {
        *error = where() + "face with fewer than three vertices";
        return false;
      }
      uint16_t ids[3];
      auto idOf = [&](const std::tuple<long, long, long>& key, uint16_t* id) {
        auto it = unique.find(key);
        if (it != unique.end()) {
          *id = it->second;
          return true;
        }
        if (int(mesh->positions.size()) >= maxVertices) return false;
        *id = uint16_t(mesh->positions.size());
        unique.emplace(key, *id);
        mesh->positions.push_back(vs[std::get<0>(key)]);
        const long t = std::get<1>(key), n = std::get<2>(key);
        mesh->uvs.push_back(t >= 0 ? ts[t] : D3DXVECTOR2(0, 0));
        mesh->normals.push_back(n >= 0 ? ns[n] : D3DXVECTOR3(0, 0, 0));
        anyUv |= t >= 0;
        anyNormal |= n >= 0;
        return true;
      };
      for (size_t k = 1; k + 1 < corners.size(); ++k) {
        // Reversed order: the z flip turns the file's counter-clockwise faces clockwise again.
        if (!idOf(corners[0], &ids[0]) || !idOf(corners[k + 1], &ids[1]) || !idOf(corners[k], &ids[2])) {
          *error = path + ": more than " + std::to_string(maxVertices) + " vertices";
          *mesh = MeshData();
          return false;
        }
        for (uint16_t id : ids) mesh->indices.push_back(id);
      }
    }
  }
  if (!anyUv) mesh->uvs.clear();
  if (mesh->indices.empty()) {
    *error = path + ": no faces";
    return false;
  }
  if (!anyNormal) {
    // Smooth normals from the faces (clockwise front faces: (b - a) x (c - a) points outward).
    for (auto& n : mesh->normals) n = D3DXVECTOR3(0, 0, 0);
    for (size_t i = 0; i + 2 < mesh->indices.size(); i += 3) {
      const uint16_t a = mesh->indices[i], b = mesh->indices[i + 1], c = mesh->indices[i + 2];
      D3DXVECTOR3 e1 = mesh->positions[b] - mesh->positions[a], e2 = mesh->positions[c] - mesh->positions[a], n;
      D3DXVec3Cross(&n, &e1, &e2);
      mesh->normals[a] += n, mesh->normals[b] += n, mesh->normals[c] += n;
    }
    for (auto& n : mesh->normals) D3DXVec3Normalize(&n, &n);
  }
  return true;
}

}  // namespace corvane
