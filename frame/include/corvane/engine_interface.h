// The engine as every channel sees it: frame count, channel creation, shared channels, time and
// the message sinks. globalEngine points at the live engine; Zel_Channel's constructor copies it
// into the channel's `engine` member.
#pragma once

#include "corvane/guid.h"

class Zel_Channel;

// A message sink: plain text, text with an appended text, or a number.
class DebugMessageSink {
 public:
  virtual ~DebugMessageSink() = default;
  virtual void ShowDebugMessage(const char* text) = 0;
  virtual void ShowDebugMessage(const char* text, const char* appended) = 0;
  virtual void ShowDebugMessage(int value) = 0;
};

// The debug sink: a text with a number.
class DebugSink {
 public:
  virtual ~DebugSink() = default;
  virtual void ShowDebug(const char* text, int value) = 0;
};

class EngineInterface {
 public:
  virtual ~EngineInterface() = default;

  // Frames counted since the engine started.
  virtual int GetFrameNumber() = 0;
  // A new private channel of that type (the two integers are 0); the caller owns and deletes it.
  // Null when no loaded plug-in provides the type.
  virtual Zel_Channel* CreateChannelInstance(const GUID& type, int reserved1, int reserved2) = 0;
  // The shared channel of that type and instance name (null name = the unnamed instance), created
  // on first request and owned by the engine. Null when the type is unknown.
  virtual Zel_Channel* GetSharedChannel(const GUID& type, const char* name) = 0;

  // Engine time since start, in frames of 1/25 s.
  virtual double GetEngineTime() = 0;
  // Time the last frame advanced the clock by, in frames of 1/25 s.
  virtual float GetFrameElapsed() = 0;

  DebugMessageSink* messageSink1 = nullptr;
  DebugMessageSink* messageSink2 = nullptr;
  DebugMessageSink* messageSink3 = nullptr;
  DebugMessageSink* messageSink4 = nullptr;
  DebugSink* debugSink = nullptr;
};

// The live engine, or null before one is created.
extern EngineInterface* globalEngine;
