// The test plug-in's channel: a single-child "Single Value" link, a many-children "Matrices" link
// and a many-children "Next Scratch" link of its own type; two chunks with defaults. Every member
// is inline, so the tests can call it on an object the plug-in created (and the sanitizer's type
// checks find the class's type information in the test too). Its destructor reports the instance
// name to the engine's first message sink.
#pragma once

#include <string>

#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/guid.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"
#include "corvane/zel_channel.h"

inline constexpr GUID kScratchType = corvane::MakeGuid("5CA7C400-0000-4000-8000-000000000001");

class ScratchChannel : public Zel_Channel {
 public:
  ScratchChannel() {
    SetChannelName("Scratch Test Channel");
    SetChildCreationCount(3);
    corvane::LinkDeclarer links(this);
    links.Declare(0, "Value", corvane::ids::kValue, 0, "Single Value");
    links.Declare(1, "Matrix", corvane::ids::kMatrix, kManyChildren, "Matrices");
    links.Declare(2, "Scratch Test Channel", kScratchType, kManyChildren, "Next Scratch");
  }
  ~ScratchChannel() override {
    if (engine && engine->messageSink1) engine->messageSink1->ShowDebugMessage("destroyed ", GetInstanceName());
  }

  bool SaveChannel(ZelFileSaver& saver) override {
    if (!Zel_Channel::SaveChannel(saver)) return false;
    saver.SaveTag("SCR1");
    saver.SaveBlockSize(sizeof count_);
    saver.SaveDataToFile(&count_, sizeof count_);
    if (!writeSecondChunk_) return saver.IsGood();
    saver.SaveTag("SCR2");
    saver.SaveBlockSize(sizeof scale_);
    saver.SaveDataToFile(&scale_, sizeof scale_);
    return saver.IsGood();
  }
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override {
    if (!Zel_Channel::LoadChannel(loader, group)) return false;
    if (loader.GetInfoIfTag("SCR1") && !loader.CopyTagDataToPointer(&count_)) return false;
    if (loader.GetInfoIfTag("SCR2") && !loader.CopyTagDataToPointer(&scale_)) return false;
    return !loader.HasError();
  }

  virtual int GetCount() { return count_; }
  virtual void SetCount(int c) { count_ = c; }
  virtual float GetScale() { return scale_; }
  virtual void SetScale(float s) { scale_ = s; }
  // Saves only the first chunk, as an older version of the channel did.
  virtual void SetWriteSecondChunk(bool w) { writeSecondChunk_ = w; }

 private:
  int count_ = 11;
  float scale_ = 2.5f;
  bool writeSecondChunk_ = true;
};
