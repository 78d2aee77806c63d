// Key-event scripts: a small language for driving the keyboard procedure with
// the fake system and checking what it swallowed, what it typed, and the text
// a simulated text box ends up with. tests/keyboard/key_scripts_test.cpp
// documents the format; unit tests can also drive a KeyScriptRunner line by line.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keyboard/keyboard_proc.h"
#include "platform/fake/fake_system.h"

namespace harvel::testing {

// Virtual-key names ("A", "RMENU", "OEM_4", aliases such as "ENTER"), and the
// canonical name of a code ("0x..." for codes without one).
std::optional<uint32_t> vk_from_name(std::string_view name);
std::string vk_name(uint32_t vk);

struct KeyScriptLine {
  int number = 0;
  std::string text;
};

struct KeyScript {
  std::vector<KeyScriptLine> steps;   // set-up and event lines, in order
  std::vector<std::string> expected;  // swallow/send lines, canonical
  std::optional<std::string> text;    // the box's expected final text (UTF-8)
};

// Parses a script file; throws std::runtime_error naming the line.
KeyScript parse_key_script(std::string_view file_text);
// Parses one expectation line ("swallow ...", "send ...") into its canonical form.
std::string canonical_expectation(std::string_view line);

class KeyScriptRunner {
 public:
  // Installs a fresh fake system and the default flags: conversion on,
  // hybrid mode, hybrid key ralt, the default fast keys, US layout, and
  // notepad.exe in the foreground.
  KeyScriptRunner();
  ~KeyScriptRunner();
  KeyScriptRunner(const KeyScriptRunner&) = delete;
  KeyScriptRunner& operator=(const KeyScriptRunner&) = delete;

  // Runs one set-up or event line; throws std::runtime_error on a bad line.
  void run(std::string_view line);
  // Runs each non-empty, non-comment line of `lines`.
  void run_lines(std::string_view lines);
  // Runs a whole script's steps (errors name the script line).
  void run_script(const KeyScript& script);

  HookState& state() { return state_; }
  fake::FakeSystem& system() { return *system_; }
  // What happened so far: one canonical line per swallowed event and per
  // SendInput batch.
  const std::vector<std::string>& log() const { return log_; }
  void clear_log() { log_.clear(); }
  // The text box's text (UTF-8).
  std::string text() const;

 private:
  struct BusyLock;

  void feed(const os::KeyEvent& event);
  void deliver_to_box(const os::KeyEvent& event);
  void key(uint32_t message, uint32_t vk, uint32_t scan, uint32_t flags, uintptr_t extra);
  void type_text(std::u32string_view text);
  void apply_set(const std::vector<std::string>& words);

  std::unique_ptr<fake::FakeSystem> system_;
  HookState state_;
  std::vector<std::string> log_;
  std::unique_ptr<BusyLock> busy_;
  // The simulated text box.
  std::u32string box_;
  char16_t box_high_surrogate_ = 0;
  // Each side's key and the neutral code on their own, as the system keeps them.
  std::array<bool, 256> box_down_{};
};

}  // namespace harvel::testing
