// Chunk streams: how a channel's data is written and read.
//
// A stream is a sequence of tokens:
//   tag token:   'T' followed by four characters
//   block token: 'B' followed by a little-endian uint32 size, then that many bytes
// A chunk is a tag token followed by its blocks. The kind bytes make any stream readable without
// knowing the channel that wrote it.
//
// The loader treats its input as untrusted: every read is checked against the stream and against
// the destination it was given; a violation sets the loader's error (with the stream's name and
// the offset, as "<name>: offset <n>: <what>") and the read returns false; once in error the
// loader reads nothing more. Nothing is ever written past a destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

class ZelFileSaver {
 public:
  ZelFileSaver();
  virtual ~ZelFileSaver();

  // Writes a tag token. tag must hold four characters. Returns 1, or 0 when the saver has failed.
  virtual int SaveTag(const char* tag);
  // Writes the head of a block token of n bytes; the next SaveDataToFile must supply exactly n.
  virtual int SaveBlockSize(uint32_t n);
  // Writes the data of the block opened by SaveBlockSize. Returns 1, or 0 when n differs from the
  // announced size or no block is open (the saver then stays failed).
  virtual int SaveDataToFile(const void* p, uint32_t n);

  const std::vector<uint8_t>& GetBytes() const { return bytes_; }
  // False once a call was out of order; the bytes are then not a valid stream.
  bool IsGood() const { return good_ && pending_ == 0; }
  const std::string& GetError() const { return error_; }
  void Clear();

 private:
  void Fail(const std::string& why);
  std::vector<uint8_t> bytes_;
  uint64_t pending_ = 0;  // bytes the open block still expects
  bool blockOpen_ = false;
  bool good_ = true;
  std::string error_;
};

class ZelFileLoader {
 public:
  enum class Token { End, Tag, Block, Invalid };

  // Reads the size bytes at data (not copied: they must outlive the loader). name and baseOffset
  // are used in messages so that they point at the place in the file the stream came from.
  ZelFileLoader(const void* data, std::size_t size, std::string name = "<memory>",
                uint64_t baseOffset = 0);
  virtual ~ZelFileLoader();

  // True when the next token is a tag token with this tag; it is then consumed (the chunk is open).
  // Any other next token is left in place and false returned.
  virtual bool GetInfoIfTag(const char* tag);
  // Copies the next block into dest and moves past it. A block larger than destSize is refused:
  // nothing is written, the error is set and false returned. A smaller block fills the front of
  // the destination and leaves the rest as it was.
  virtual bool CopyTagDataToPointer(void* dest, uint32_t destSize);
  // The size-checked form for a typed destination: the destination's size is sizeof(T). For a
  // character array pass the array's size explicitly through the form above.
  template <class T>
    requires(!std::is_void_v<T>)
  bool CopyTagDataToPointer(T* dest) {
    return CopyTagDataToPointer(static_cast<void*>(dest), static_cast<uint32_t>(sizeof(T)));
  }
  // Size of the next block, or 0 when the next token is not a block. consume = true also moves past
  // the block (skipping its data).
  virtual uint32_t GetSizeDataBlock(bool consume);

  // Token-level reading (inspection tools, skipping unknown data).
  Token PeekToken() const;
  // Reads a tag token into tag (five bytes, terminated). False when the next token is not a tag.
  bool ReadTag(char* tag);
  // Skips the next block token, reporting its size and the offset of its data.
  bool SkipBlock(uint32_t* size, uint64_t* dataOffset = nullptr);
  // Pointer to the next block's data without copying (valid while the input lives).
  const uint8_t* PeekBlock(uint32_t* size) const;

  bool AtEnd() const { return pos_ >= size_; }
  // Offset of the read position within the file (base offset plus position in the stream).
  uint64_t GetOffset() const { return base_ + pos_; }
  std::size_t GetRemaining() const { return size_ - pos_; }
  bool HasError() const { return !error_.empty(); }
  const std::string& GetError() const { return error_; }
  const std::string& GetName() const { return name_; }
  // Records a failure found by the reader's caller (for instance a count that the rest of the
  // stream cannot hold), in the same form as the loader's own errors. The first error is kept.
  void SetError(const std::string& what);

 private:
  bool ReadBlockHead(uint32_t* size) const;
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::string name_;
  uint64_t base_;
  std::string error_;
};
