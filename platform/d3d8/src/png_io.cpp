// PNG reading and writing through libpng's simplified interface.
#include <png.h>

#include <cstring>
#include <vector>

#include "corvane/software_device.h"

namespace corvane {

bool WritePngRgba(const std::string& path, const uint8_t* rgba, int width, int height, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba, 0, nullptr)) {
    if (error) *error = "cannot write " + path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

bool LoadTextureFromPng(IDirect3DDevice8* device, const std::string& path, IDirect3DTexture8** texture,
                        std::string* error) {
  if (texture) *texture = nullptr;
  if (!device || !texture) {
    if (error) *error = "no device";
    return false;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    if (error) *error = "cannot read " + path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  constexpr png_uint_32 kMaxSide = 8192;
  if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
    if (error) *error = path + ": image size out of range";
    png_image_free(&image);
    return false;
  }
  // 0xAARRGGBB in a little-endian word is the byte order B, G, R, A.
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    if (error) *error = "cannot decode " + path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  IDirect3DTexture8* tex = nullptr;
  if (FAILED(device->CreateTexture(image.width, image.height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex)) || !tex) {
    if (error) *error = path + ": the device refused the texture";
    return false;
  }
  D3DLOCKED_RECT r;
  if (FAILED(tex->LockRect(0, &r, nullptr, 0))) {
    tex->Release();
    if (error) *error = path + ": cannot lock the texture";
    return false;
  }
  for (png_uint_32 y = 0; y < image.height; ++y)
    std::memcpy(static_cast<uint8_t*>(r.pBits) + size_t(y) * r.Pitch, pixels.data() + size_t(y) * image.width * 4,
                size_t(image.width) * 4);
  tex->UnlockRect(0);
  *texture = tex;
  return true;
}

}  // namespace corvane
