#include "tests/model/ModelScript.h"

namespace {

// splitmix64: a cheap, well-mixed function of one 64-bit value.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

int CModelScript::Roll(AnswerKind kind, int index) const {
  const uint64_t salt = static_cast<uint64_t>(kind) * 1000003ULL + static_cast<uint64_t>(index);
  return static_cast<int>(Mix(m_stepSeed ^ Mix(salt)) % 100);
}
