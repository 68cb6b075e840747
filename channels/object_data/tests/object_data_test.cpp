// The object data channel through the engine: what its draw does to the device (recorded calls),
// its arrays and bounds, its geometry from properties and OBJ files, and the render context's
// screen projection.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "corvane/channels/object_data.h"
#include "corvane/channels/render_context.h"
#include "corvane/chunk_io.h"
#include "corvane/host/engine.h"
#include "corvane/property.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"

using corvane::host::Engine;

namespace {

class ObjectDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = std::make_unique<Engine>();
    engine->GetLogger().SetCapture(true);
    ASSERT_GT(engine->LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR), 0);
    context = static_cast<Vyn_DX8_RenderContext*>(engine->GetSharedChannel(corvane::ids::kRenderContext, nullptr));
    ASSERT_NE(context, nullptr);
    corvane::SoftwareDeviceOptions o;
    o.width = 64;
    o.height = 48;
    device = corvane::SoftwareDevice::Create(o);
    context->SetDevice(device, nullptr);
    object.reset(static_cast<Vyn_DX8_ObjectDataChannel*>(
        engine->CreateChannelInstance(corvane::ids::kObjectData, 0, 0)));
    ASSERT_NE(object, nullptr);
  }
  void TearDown() override {
    object.reset();
    context->SetDevice(nullptr, nullptr);
    device->Release();
  }
  bool SetProperty(const char* stem, const corvane::PropertyValue& v) {
    const corvane::PropertyTable* t = engine->GetPropertyTable(corvane::ids::kObjectData);
    const corvane::PropertyInfo* p = t ? t->Find(stem) : nullptr;
    return p && p->set(*object, v);
  }

  std::unique_ptr<Engine> engine;
  Vyn_DX8_RenderContext* context = nullptr;
  corvane::SoftwareDevice* device = nullptr;
  std::unique_ptr<Vyn_DX8_ObjectDataChannel> object;
};

TEST_F(ObjectDataTest, CallChannelStreamsItsBuffersAndDrawsItsPrimitives) {
  ASSERT_TRUE(SetProperty("Primitive", corvane::PropertyValue::Enum(1)));  // box
  context->BeginFrame();
  device->EnableRecording(true);
  object->CallChannel();
  const auto& calls = device->GetRecordedCalls();
  auto find = [&](const std::string& name, size_t from = 0) {
    for (size_t i = from; i < calls.size(); ++i)
      if (calls[i].name == name) return i;
    return calls.size();
  };
  const size_t world = find("SetTransform");
  const size_t shader = find("SetVertexShader");
  const size_t stream = find("SetStreamSource");
  const size_t indices = find("SetIndices");
  const size_t draw = find("DrawIndexedPrimitive");
  ASSERT_LT(draw, calls.size());
  EXPECT_LT(world, draw);
  EXPECT_EQ(calls[world].args.substr(0, 4), "256 ");
  // Box: positions, normals, one texture set -> 32-byte vertices; 24 vertices, 12 triangles.
  EXPECT_EQ(calls[shader].args, std::to_string(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
  EXPECT_EQ(calls[stream].args, "0 ptr 32");
  EXPECT_EQ(calls[indices].args, "ptr 0");
  EXPECT_LT(shader, draw);
  EXPECT_LT(stream, draw);
  EXPECT_LT(indices, draw);
  EXPECT_EQ(calls[draw].args, "4 0 24 0 12");
  EXPECT_EQ(device->GetInvalidCallCount(), 0);
  // It drew something in the middle of the image, and left no blending switched on.
  EXPECT_NE(device->GetPixel(32, 24), 0xFF202830u);
  DWORD blend = 1;
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, 0u);

  // After a device loss the buffers are rebuilt at the next draw.
  device->ClearRecordedCalls();
  object->CallChannel();
  EXPECT_EQ(find("CreateVertexBuffer"), calls.size());  // still valid: reused
  object->InvalidateDirectGraphics();
  device->ClearRecordedCalls();
  object->CallChannel();
  EXPECT_LT(find("CreateVertexBuffer"), find("DrawIndexedPrimitive"));
  EXPECT_LT(find("DrawIndexedPrimitive"), calls.size());
}

TEST_F(ObjectDataTest, VisibilityFollowsTheCamera) {
  object->SetPrimitive(kPrimitiveBox);
  context->SetCamera({0, 0, -10}, {0, 0, 0}, 1.0f);
  context->ApplyCamera();
  EXPECT_TRUE(object->GetIfObjectIsVisible());
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 0, 0, -30);  // behind the camera
  object->SetWorldMatrix(m);
  EXPECT_FALSE(object->GetIfObjectIsVisible());
  D3DXMatrixTranslation(&m, 100, 0, 0);  // far to the right
  object->SetWorldMatrix(m);
  EXPECT_FALSE(object->GetIfObjectIsVisible());
}

TEST_F(ObjectDataTest, ArraysBoundsAndWorldMatrixFollowTheirSetters) {
  object->SetVertexCount(3);
  EXPECT_TRUE(object->SetVertexPosition({-1, 0, 2}, 0));
  EXPECT_TRUE(object->SetVertexPosition({3, -2, 0}, 1));
  EXPECT_TRUE(object->SetVertexPosition({0, 5, 1}, 2));
  EXPECT_FALSE(object->SetVertexPosition({9, 9, 9}, 3));  // outside the array: refused
  EXPECT_FALSE(object->GetVertexNormalUse());
  EXPECT_TRUE(object->SetVertexColor(0xFF00FF00, 1));
  EXPECT_TRUE(object->GetVertexColorUse());
  object->SetIndexCount(3);
  EXPECT_TRUE(object->SetIndex(2, 0));
  EXPECT_FALSE(object->SetIndex(70000, 1));  // does not fit 16 bits
  EXPECT_FALSE(object->SetIndex(1, 3));
  EXPECT_EQ(object->GetIndexes(0), 2u);
  EXPECT_EQ(object->GetIndexes(99), 0u);
  EXPECT_EQ(object->GetBoundingBoxMin(), D3DXVECTOR3(-1, -2, 0));
  EXPECT_EQ(object->GetBoundingBoxMax(), D3DXVECTOR3(3, 5, 2));
  // A moved vertex invalidates the box.
  object->SetVertexPosition({10, 0, 0}, 0);
  EXPECT_EQ(object->GetBoundingBoxMax().x, 10.0f);
  EXPECT_EQ(object->GetFVFlags(), DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE));
  EXPECT_EQ(object->GetVertexSize(), 16);
  EXPECT_TRUE(object->CreateVertexBuffer());

  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 1, 2, 3);
  object->SetWorldMatrix(m);
  EXPECT_EQ(object->GetWorldMatrix(), m);
  BoundingBox b = object->GetObjectTransformedMinMaxBox();
  EXPECT_EQ(b.min, D3DXVECTOR3(1, 0, 3));
  object->Release();
  EXPECT_EQ(object->GetVertexCount(), 0);
  EXPECT_FALSE(object->CreateVertexBuffer());
}

TEST_F(ObjectDataTest, ObjFilesLoadAndMissingFilesAreReported) {
  const std::string path = testing::TempDir() + "/quad.obj";
  {
    std::ofstream f(path);
    f << "# a quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n";
  }
  const corvane::PropertyTable* t = engine->GetPropertyTable(corvane::ids::kObjectData);
  ASSERT_TRUE(t && t->applyData);
  std::string error;
  ASSERT_TRUE(t->applyData(*object, "{\"mesh\": \"" + path + "\"}", &error)) << error;
  object->UpdateData();
  EXPECT_EQ(object->GetVertexCount(), 4);
  EXPECT_EQ(object->GetIndexCount(), 6);
  EXPECT_TRUE(object->GetVertexNormalUse());  // computed from the faces
  EXPECT_TRUE(object->GetVertexTUUse(0));
  // The z flip keeps the face's normal pointing toward -z (toward a default camera).
  EXPECT_NEAR(object->GetVertexNormals(0).z, -1.0f, 1e-5f);

  // Malformed faces and indices out of range are reported, and leave the object empty.
  const std::string bad = testing::TempDir() + "/bad.obj";
  {
    std::ofstream f(bad);
    f << "v 0 0 0\nv 1 0 0\nf 1 2 7\n";
  }
  ASSERT_TRUE(t->applyData(*object, "{\"mesh\": \"" + bad + "\"}", &error));
  object->UpdateData();
  EXPECT_EQ(object->GetVertexCount(), 0);
  EXPECT_TRUE(engine->GetLogger().Contains("face index out of range"));

  ASSERT_TRUE(t->applyData(*object, "{\"mesh\": \"no/such/file.obj\", \"texture\": \"no/such.png\"}", &error));
  object->CallChannel();  // must not crash
  EXPECT_TRUE(engine->GetLogger().Contains("no/such/file.obj"));
  EXPECT_FALSE(t->applyData(*object, "{\"mesh\": 3}", &error));
  EXPECT_FALSE(t->applyData(*object, "{\"meshes\": \"a\"}", &error));
  EXPECT_FALSE(t->applyData(*object, "not json", &error));

  // A missing texture on a valid mesh: reported, drawn untextured.
  ASSERT_TRUE(t->applyData(*object, "{\"mesh\": \"" + path + "\", \"texture\": \"missing.png\"}", &error));
  context->BeginFrame();
  object->CallChannel();
  EXPECT_TRUE(engine->GetLogger().Contains("drawn untextured"));
  std::remove(path.c_str());
  std::remove(bad.c_str());
}

TEST_F(ObjectDataTest, SettingsSurviveSaveAndLoad) {
  object->SetPrimitive(kPrimitiveSphere);
  object->SetSize(2.5f);
  object->SetSegments(12);
  object->SetColor({0.2f, 0.4f, 0.6f});
  object->SetTextureFile("assets/x.png");
  D3DXMATRIX placed;
  D3DXMatrixTranslation(&placed, 1, 2, 3);
  object->SetWorldMatrix(placed);
  ZelFileSaver saver;
  ASSERT_TRUE(object->SaveChannel(saver));
  std::unique_ptr<Vyn_DX8_ObjectDataChannel> copy(
      static_cast<Vyn_DX8_ObjectDataChannel*>(engine->CreateChannelInstance(corvane::ids::kObjectData, 0, 0)));
  ZelFileLoader loader(saver.GetBytes().data(), saver.GetBytes().size());
  ASSERT_TRUE(copy->LoadChannel(loader, nullptr));
  EXPECT_EQ(copy->GetPrimitive(), kPrimitiveSphere);
  EXPECT_EQ(copy->GetSize(), 2.5f);
  EXPECT_EQ(copy->GetSegments(), 12);
  EXPECT_EQ(copy->GetColor(), D3DXVECTOR3(0.2f, 0.4f, 0.6f));
  EXPECT_EQ(copy->GetTextureFile(), "assets/x.png");
  EXPECT_EQ(copy->GetWorldMatrix(), placed);
  copy->UpdateData();
  EXPECT_EQ(copy->GetVertexCount(), 13 * 7);
  // Every cut of the stream is refused or read without harm.
  for (size_t n = 0; n < saver.GetBytes().size(); ++n) {
    ZelFileLoader cut(saver.GetBytes().data(), n);
    copy->LoadChannel(cut, nullptr);
  }
}

TEST_F(ObjectDataTest, RenderContextProjectsToPixels) {
  context->SetCamera({0, 0, -10}, {0, 0, 0}, 1.0f);
  context->ApplyCamera();
  D3DXVECTOR3 p = context->ProjectToScreen({0, 0, 0});
  EXPECT_NEAR(p.x, 32.0f, 1e-3f);
  EXPECT_NEAR(p.y, 24.0f, 1e-3f);
  EXPECT_GT(p.z, 0.0f);
  EXPECT_LT(p.z, 1.0f);
  // Up in the world is up on the screen (smaller y); behind the camera is outside the depth range.
  EXPECT_LT(context->ProjectToScreen({0, 1, 0}).y, 24.0f);
  EXPECT_LT(context->ProjectToScreen({0, 0, -20}).z, 0.0f);
  D3DVIEWPORT8 vp = context->GetRenderViewport();
  EXPECT_EQ(vp.Width, 64u);
  EXPECT_EQ(vp.Height, 48u);
  // Camera properties: a bad field of view is ignored.
  context->SetCameraFov(-1.0f);
  EXPECT_EQ(context->GetCameraFov(), 1.0f);
}

TEST_F(ObjectDataTest, RenderContextCameraByPropertiesAndInProjects) {
  const corvane::PropertyTable* t = engine->GetPropertyTable(corvane::ids::kRenderContext);
  ASSERT_NE(t, nullptr);
  for (const char* stem : {"CameraPosition", "CameraTarget", "CameraFov"}) ASSERT_NE(t->Find(stem), nullptr) << stem;
  ASSERT_TRUE(t->Find("CameraPosition")->set(*context, corvane::PropertyValue::Vector3({1, 2, 3})));
  ASSERT_TRUE(t->Find("CameraFov")->set(*context, corvane::PropertyValue::Float(0.5f)));
  context->SetClearColor(0xFF112233);
  ZelFileSaver saver;
  ASSERT_TRUE(context->SaveChannel(saver));
  std::unique_ptr<Vyn_DX8_RenderContext> copy(
      static_cast<Vyn_DX8_RenderContext*>(engine->CreateChannelInstance(corvane::ids::kRenderContext, 0, 0)));
  ZelFileLoader loader(saver.GetBytes().data(), saver.GetBytes().size());
  ASSERT_TRUE(copy->LoadChannel(loader, nullptr));
  EXPECT_EQ(copy->GetCameraPosition(), D3DXVECTOR3(1, 2, 3));
  EXPECT_EQ(copy->GetCameraFov(), 0.5f);
  EXPECT_EQ(copy->GetClearColor(), 0xFF112233u);
  // Without a device the context answers defaults and its setters do nothing.
  EXPECT_EQ(copy->GetDevice(), nullptr);
  copy->SetRenderState(D3DRS_LIGHTING, FALSE);
  copy->BeginFrame();
  EXPECT_EQ(copy->GetDeviceCaps().MaxVertexBlendMatrices, 0u);
}

}  // namespace
