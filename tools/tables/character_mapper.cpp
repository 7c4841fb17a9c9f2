#include "tools/tables/character_mapper.h"

#include <stdexcept>

namespace tallygate::tables {
namespace {

// Code points in valid UTF-8: every byte that is not a continuation byte.
size_t CodePointCount(const std::string& utf8) {
  size_t count = 0;
  for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
  return count;
}

std::string AsText(DoubleByte code) {
  return {static_cast<char>(code.lead), static_cast<char>(code.trail)};
}

const MappingPlan& Checked(const MappingPlan& plan) {
  if (plan.source_pages.empty() || plan.target_pages.empty()) {
    throw std::runtime_error("a mapping needs a source and a target code page");
  }
  return plan;
}

}  // namespace

CharacterMapper::CharacterMapper(const MappingPlan& plan)
    : target_decoder_("UTF-8", Checked(plan).target_pages.front()), fallback_(plan.fallback) {
  for (const char* page : plan.source_pages) {
    decoders_.push_back(std::make_unique<IconvCodec>("UTF-8", page));
  }
  for (const char* page : plan.target_pages) {
    encoders_.push_back(std::make_unique<IconvCodec>(page, "UTF-8"));
  }
  for (const char* config : plan.opencc_configs) {
    converters_.push_back(std::make_unique<ChineseConverter>(config));
  }
}

std::optional<DoubleByte> CharacterMapper::Encode(const std::string& utf8, bool& other_vendor) {
  if (CodePointCount(utf8) != 1) return std::nullopt;
  for (size_t i = 0; i < encoders_.size(); ++i) {
    const std::optional<std::string> bytes = encoders_[i]->Convert(utf8);
    // Both tables hold double-byte codes only.
    if (!bytes || bytes->size() != 2) continue;
    const DoubleByte code{static_cast<uint8_t>((*bytes)[0]), static_cast<uint8_t>((*bytes)[1])};
    if (i > 0 && !target_decoder_.Convert(AsText(code))) continue;
    other_vendor = i > 0;
    return code;
  }
  return std::nullopt;
}

std::optional<MappedCode> CharacterMapper::MapReading(const std::string& reading,
                                                      bool further_reading) {
  bool other_vendor = false;
  if (const auto code = Encode(reading, other_vendor)) {
    return MappedCode{*code, Outcome::kSameCharacter, other_vendor || further_reading};
  }
  bool changed = false;
  for (const auto& converter : converters_) {
    const std::string converted = converter->Convert(reading);
    if (converted == reading) continue;
    changed = true;
    if (const auto code = Encode(converted, other_vendor)) {
      return MappedCode{*code, Outcome::kConverted, other_vendor || further_reading};
    }
  }
  if (const auto code = Encode(reading, other_vendor)) {
    return MappedCode{*code, changed ? Outcome::kOriginalKept : Outcome::kSameCharacter,
                      other_vendor || further_reading};
  }
  return std::nullopt;
}

MappedCode CharacterMapper::Map(DoubleByte source) {
  for (size_t i = 0; i < decoders_.size(); ++i) {
    const std::optional<std::string> reading = decoders_[i]->Convert(AsText(source));
    if (!reading || CodePointCount(*reading) != 1) {
      if (i == 0) return {fallback_, Outcome::kNoCharacter};
      continue;
    }
    if (const auto mapped = MapReading(*reading, i > 0)) return *mapped;
  }
  return {fallback_, Outcome::kNoCounterpart};
}

}  // namespace tallygate::tables
