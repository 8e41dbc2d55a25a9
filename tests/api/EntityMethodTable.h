#ifndef TESTS_API_ENTITYMETHODTABLE_H
#define TESTS_API_ENTITYMETHODTABLE_H
// The table of entity methods the request test walks: for each method, how to
// call it and the command, option and value width it must send. One part of
// the table per family of entity classes.
#include <cstdint>
#include <functional>
#include <vector>

#include "Kelvarion.h"

namespace kv = Mirovane::Kelvarion;

enum class Kind { Get, GetSub, Set, SetSub, Command, SetValue };

// One method: how to call it with (module, index, subindex, value) and what
// it must send.
struct MethodCase {
  const char* name;
  uint8_t command;
  uint8_t option;
  Kind kind;
  uint8_t width;
  std::function<aErr(kv::Module*, uint8_t, uint8_t, uint32_t, uint32_t*)> call;
};

template <typename T>
uint32_t bits(T v) {
  return static_cast<uint32_t>(v) & (sizeof(T) == 4 ? 0xFFFFFFFFu : (1u << (8 * sizeof(T))) - 1);
}

#define GET(C, M, CMD, OPT, T)                                                                  \
  MethodCase{#C "::" #M, CMD, OPT, Kind::Get, sizeof(T),                                         \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t, uint32_t* out) {                   \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               T v{};                                                                           \
               aErr err = e.M(&v);                                                              \
               *out = bits(v);                                                                  \
               return err;                                                                      \
             }}
#define GETSUB(C, M, CMD, OPT, T)                                                               \
  MethodCase{#C "::" #M, CMD, OPT, Kind::GetSub, sizeof(T),                                      \
             [](kv::Module* m, uint8_t i, uint8_t s, uint32_t, uint32_t* out) {                 \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               T v{};                                                                           \
               aErr err = e.M(s, &v);                                                           \
               *out = bits(v);                                                                  \
               return err;                                                                      \
             }}
#define SET(C, M, CMD, OPT, T)                                                                  \
  MethodCase{#C "::" #M, CMD, OPT, Kind::Set, sizeof(T),                                         \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t v, uint32_t*) {                     \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M(static_cast<T>(v));                                                   \
             }}
#define SETSUB(C, M, CMD, OPT, T)                                                               \
  MethodCase{#C "::" #M, CMD, OPT, Kind::SetSub, sizeof(T),                                      \
             [](kv::Module* m, uint8_t i, uint8_t s, uint32_t v, uint32_t*) {                   \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M(s, static_cast<T>(v));                                                \
             }}
#define CMD(C, M, CMDCODE, OPT)                                                                 \
  MethodCase{#C "::" #M, CMDCODE, OPT, Kind::Command, 0,                                         \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t, uint32_t*) {                       \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M();                                                                    \
             }}
#define SETVAL(C, M, CMDCODE, OPT)                                                              \
  MethodCase{#C "::" #M, CMDCODE, OPT, Kind::SetValue, 1,                                        \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t v, uint32_t*) {                     \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               return e.M(static_cast<uint8_t>(v));                                             \
             }}
#define LIST32(C, M, CMD, OPT)                                                                  \
  MethodCase{#C "::" #M, CMD, OPT, Kind::Get, 0,                                                 \
             [](kv::Module* m, uint8_t i, uint8_t, uint32_t, uint32_t* out) {                   \
               C e;                                                                             \
               e.init(m, i);                                                                    \
               uint32_t list[4] = {};                                                           \
               uint32_t count = 0;                                                              \
               aErr err = e.M(list, 4, &count);                                                 \
               *out = count == 2 ? list[1] : 0xDEAD;                                            \
               return err;                                                                      \
             }}

extern const std::vector<MethodCase> kSystemEntityMethods;  // system, store, timer, clock, pointer
extern const std::vector<MethodCase> kIOEntityMethods;      // analog, digital, mux, ... UART
extern const std::vector<MethodCase> kUSBEntityMethods;     // USB, port, hub, power delivery

#endif
