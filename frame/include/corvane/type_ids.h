// Channel type identifiers the plug-ins and stock channels use, one constant each.
#pragma once

#include "corvane/guid.h"

namespace corvane::ids {

// The system's plug-ins.
inline constexpr GUID kSkinnedCharacter = MakeGuid("B7D3F05E-2A49-4C18-9E6B-03A7E5F8C261");
inline constexpr GUID kPhysicsBody = MakeGuid("75F2A9C3-0D64-4B8E-A215-E96C30B4D87F");
inline constexpr GUID kParticleEmitter = MakeGuid("5C7A2E94-E1D8-4360-B7F5-A82C6D09E31B");
inline constexpr GUID kNaturePainter = MakeGuid("4F93C2D6-81AB-4E5C-A7F0-3C29D8B61E05");
inline constexpr GUID kNavGraph = MakeGuid("9D2E7A05-F4B8-4C63-8A1F-56B3E0D9C27A");
inline constexpr GUID kImportObject = MakeGuid("C0396B7F-4D82-4A15-9F2C-B86E17D3A50E");
inline constexpr GUID kMotionSet = MakeGuid("0E5C8A27-94F1-4B6D-85A3-7FC20E6D914B");
inline constexpr GUID kPhysicsJoint = MakeGuid("C8147BA5-5E39-4D26-B0F8-26A9E3D57C14");
inline constexpr GUID kCollisionBoxCheck = MakeGuid("2983C6BD-F07E-4A54-B1C8-9D64F2A0E37D");
inline constexpr GUID kParticleBeamRenderer = MakeGuid("47A2D8E5-C609-4F3B-8B71-E5F90A2C6D1E");
inline constexpr GUID kParticleBeamRendererFile = MakeGuid("2C5D9F81-7B0A-4E36-A5C2-E84B17F0D96A");
inline constexpr GUID kMotionSetBlender = MakeGuid("F68A2D0C-1E97-43B5-A4D2-85C3E1B90F67");

// Stock channel types of the engine.
inline constexpr GUID kObjectData = MakeGuid("9B6E05F2-D413-47A8-8C5D-F1E24A07B93C");
inline constexpr GUID kDeviceUserFile = MakeGuid("D8B06E3A-91C7-4A2F-B4E8-3F5C27A91D60");
inline constexpr GUID kMatrix = MakeGuid("81C4E6A0-F759-4D3B-9A2E-60F8B1C37D95");
inline constexpr GUID kValue = MakeGuid("0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D");
inline constexpr GUID kObject3D = MakeGuid("E5A71D39-2C86-4F1B-9D43-08B6F2E15A97");
inline constexpr GUID kCollisionObject = MakeGuid("3E71B9A4-6F28-4D5C-8E03-C1A45D7B2F96");
inline constexpr GUID kSurface = MakeGuid("A4E8190D-6C35-4F72-B9D6-1E07A5F42C38");
inline constexpr GUID kValueVector = MakeGuid("6AB5E2F8-0C71-4D39-A84E-F37B29C5D016");
inline constexpr GUID kEnvelope = MakeGuid("A73F1C68-2E5D-4B09-9C84-D1F65A0E3B27");
inline constexpr GUID kParticleFlowGrid = MakeGuid("F2B9D460-37AE-4851-A06C-D5E3F8127B9A");
inline constexpr GUID kTimeValue = MakeGuid("E1F47A92-8B3D-45C6-A9E0-C27B53D1F048");
inline constexpr GUID kRenderContext = MakeGuid("5E08C4B3-D96A-4F21-B7E5-0A3F8D62C19B");
inline constexpr GUID kPhysicsContext = MakeGuid("3A0D7E58-B26F-4C91-96E4-7D15B0C8F2A3");
inline constexpr GUID kTimer = MakeGuid("1D8E4C53-A75B-4E20-B3F9-4A0C96E2D7B5");
inline constexpr GUID kText = MakeGuid("6D2F8B14-93E5-4C07-B1A9-5E83D27F0C46");
inline constexpr GUID kMouseInput = MakeGuid("D06B3F71-A8C2-45E9-8F37-B4D15E92A60C");
inline constexpr GUID kEditSwitch = MakeGuid("8F4C06D1-B3E2-4A97-95B8-2E6D0F1A4C73");

// The identifier whose 16 bytes are all 0x11: the base type of every declared child type.
inline constexpr GUID kChildBaseMarker = MakeGuid("11111111-1111-1111-1111-111111111111");

}  // namespace corvane::ids
