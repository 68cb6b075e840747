// Chunk streams: the token writer and the bounds-checked token reader.
#include "corvane/chunk_io.h"

#include <cstring>

namespace {

constexpr uint8_t kTagKind = 'T';
constexpr uint8_t kBlockKind = 'B';
constexpr std::size_t kTagTokenSize = 5;   // kind + four characters
constexpr std::size_t kBlockHeadSize = 5;  // kind + uint32 size

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

// --- ZelFileSaver ----------------------------------------------------------------------------

ZelFileSaver::ZelFileSaver() = default;
ZelFileSaver::~ZelFileSaver() = default;

void ZelFileSaver::Fail(const std::string& why) {
  if (good_) error_ = why;
  good_ = false;
}

int ZelFileSaver::SaveTag(const char* tag) {
  if (!good_) return 0;
  if (blockOpen_ && pending_ != 0) {
    Fail("tag written while a block still expects " + std::to_string(pending_) + " bytes");
    return 0;
  }
  blockOpen_ = false;
  if (!tag || std::strlen(tag) < 4) {
    Fail("a tag needs four characters");
    return 0;
  }
  bytes_.push_back(kTagKind);
  bytes_.insert(bytes_.end(), tag, tag + 4);
  return 1;
}

int ZelFileSaver::SaveBlockSize(uint32_t n) {
  if (!good_) return 0;
  if (blockOpen_ && pending_ != 0) {
    Fail("block opened while the previous one still expects " + std::to_string(pending_) + " bytes");
    return 0;
  }
  bytes_.push_back(kBlockKind);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(n >> (8 * i)));
  pending_ = n;
  blockOpen_ = true;
  return 1;
}

int ZelFileSaver::SaveDataToFile(const void* p, uint32_t n) {
  if (!good_) return 0;
  if (!blockOpen_) {
    Fail("data written without an open block");
    return 0;
  }
  if (n != pending_) {
    Fail("block announced " + std::to_string(pending_) + " bytes but " + std::to_string(n) +
         " were written");
    return 0;
  }
  if (n != 0 && !p) {
    Fail("null data for a block of " + std::to_string(n) + " bytes");
    return 0;
  }
  const uint8_t* b = static_cast<const uint8_t*>(p);
  if (n) bytes_.insert(bytes_.end(), b, b + n);
  pending_ = 0;
  blockOpen_ = false;
  return 1;
}

void ZelFileSaver::Clear() {
  bytes_.clear();
  pending_ = 0;
  blockOpen_ = false;
  good_ = true;
  error_.clear();
}

// --- ZelFileLoader ---------------------------------------------------------------------------

ZelFileLoader::ZelFileLoader(const void* data, std::size_t size, std::string name, uint64_t baseOffset)
    : data_(static_cast<const uint8_t*>(data)),
      size_(data ? size : 0),
      name_(std::move(name)),
      base_(baseOffset) {}

ZelFileLoader::~ZelFileLoader() = default;

void ZelFileLoader::SetError(const std::string& what) {
  if (!error_.empty()) return;
  error_ = name_ + ": offset " + std::to_string(GetOffset()) + ": " + what;
}

bool ZelFileLoader::ReadBlockHead(uint32_t* size) const {
  if (size_ - pos_ < kBlockHeadSize || data_[pos_] != kBlockKind) return false;
  const uint32_t n = ReadU32(data_ + pos_ + 1);
  if (n > size_ - pos_ - kBlockHeadSize) return false;
  *size = n;
  return true;
}

ZelFileLoader::Token ZelFileLoader::PeekToken() const {
  if (pos_ >= size_) return Token::End;
  const uint8_t kind = data_[pos_];
  if (kind == kTagKind) return size_ - pos_ >= kTagTokenSize ? Token::Tag : Token::Invalid;
  if (kind == kBlockKind) {
    uint32_t n;
    return ReadBlockHead(&n) ? Token::Block : Token::Invalid;
  }
  return Token::Invalid;
}

namespace {

const char* DescribeInvalid(const uint8_t* data, std::size_t pos, std::size_t size) {
  if (data[pos] == 'T') return "tag token cut short by the end of the stream";
  if (data[pos] == 'B') {
    if (size - pos < 5) return "block size cut short by the end of the stream";
    return "block larger than the rest of the stream";
  }
  return "unknown token kind";
}

}  // namespace

bool ZelFileLoader::GetInfoIfTag(const char* tag) {
  if (HasError() || !tag) return false;
  const Token t = PeekToken();
  if (t == Token::Invalid) {
    SetError(DescribeInvalid(data_, pos_, size_));
    return false;
  }
  if (t != Token::Tag) return false;
  if (std::strlen(tag) < 4 || std::memcmp(data_ + pos_ + 1, tag, 4) != 0) return false;
  pos_ += kTagTokenSize;
  return true;
}

bool ZelFileLoader::CopyTagDataToPointer(void* dest, uint32_t destSize) {
  if (HasError()) return false;
  const Token t = PeekToken();
  if (t != Token::Block) {
    if (t == Token::Invalid) SetError(DescribeInvalid(data_, pos_, size_));
    else if (t == Token::End) SetError("expected a data block, found the end of the stream");
    else SetError("expected a data block, found a tag");
    return false;
  }
  uint32_t n = 0;
  ReadBlockHead(&n);
  if (n > destSize) {
    SetError("block of " + std::to_string(n) + " bytes does not fit its field of " +
             std::to_string(destSize) + " bytes");
    return false;
  }
  if (n != 0 && !dest) {
    SetError("no destination for a block of " + std::to_string(n) + " bytes");
    return false;
  }
  if (n) std::memcpy(dest, data_ + pos_ + kBlockHeadSize, n);
  pos_ += kBlockHeadSize + n;
  return true;
}

uint32_t ZelFileLoader::GetSizeDataBlock(bool consume) {
  if (HasError()) return 0;
  uint32_t n = 0;
  if (!ReadBlockHead(&n)) return 0;
  if (consume) pos_ += kBlockHeadSize + n;
  return n;
}

bool ZelFileLoader::ReadTag(char* tag) {
  if (HasError() || !tag) return false;
  const Token t = PeekToken();
  if (t == Token::Invalid) {
    SetError(DescribeInvalid(data_, pos_, size_));
    return false;
  }
  if (t != Token::Tag) return false;
  std::memcpy(tag, data_ + pos_ + 1, 4);
  tag[4] = '\0';
  pos_ += kTagTokenSize;
  return true;
}

bool ZelFileLoader::SkipBlock(uint32_t* size, uint64_t* dataOffset) {
  if (HasError()) return false;
  const Token t = PeekToken();
  if (t == Token::Invalid) {
    SetError(DescribeInvalid(data_, pos_, size_));
    return false;
  }
  if (t != Token::Block) return false;
  uint32_t n = 0;
  ReadBlockHead(&n);
  if (size) *size = n;
  if (dataOffset) *dataOffset = base_ + pos_ + kBlockHeadSize;
  pos_ += kBlockHeadSize + n;
  return true;
}

const uint8_t* ZelFileLoader::PeekBlock(uint32_t* size) const {
  uint32_t n = 0;
  if (HasError() || !ReadBlockHead(&n)) {
    if (size) *size = 0;
    return nullptr;
  }
  if (size) *size = n;
  return data_ + pos_ + kBlockHeadSize;
}
