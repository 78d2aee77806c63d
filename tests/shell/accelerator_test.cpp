#include "app/accelerator.h"

#include <gtest/gtest.h>

namespace harvel {
namespace {

using os::MOD_ALT;
using os::MOD_CONTROL;
using os::MOD_SHIFT;
using os::MOD_WIN;

struct Valid {
  const char* text;
  uint32_t modifiers;
  uint32_t vk;
};

TEST(ParseAccelerator, AcceptsTheGrammar) {
  const Valid cases[] = {
      {"Control+Shift+U", MOD_CONTROL | MOD_SHIFT, 0x55},
      {"ctrl+shift+u", MOD_CONTROL | MOD_SHIFT, 0x55},
      {"CONTROL+SHIFT+KEYU", MOD_CONTROL | MOD_SHIFT, 0x55},
      {"Control + Alt + Delete", MOD_CONTROL | MOD_ALT, 0x2E},
      {"CmdOrCtrl+K", MOD_CONTROL, 0x4B},
      {"CommandOrControl+Shift+1", MOD_CONTROL | MOD_SHIFT, 0x31},
      {"Super+Digit0", MOD_WIN, 0x30},
      {"Meta+Cmd+Command+Space", MOD_WIN, 0x20},
      {"Option+Enter", MOD_ALT, 0x0D},
      {"Shift+Control+Shift+A", MOD_SHIFT | MOD_CONTROL, 0x41},
      {"U", 0, 0x55},
      {"F1", 0, 0x70},
      {"Alt+F12", MOD_ALT, 0x7B},
      {"f24", 0, 0x87},
      {"Control+Plus", MOD_CONTROL, 0xBB},
      {"Control+Equal", MOD_CONTROL, 0xBB},
      {"Control+Minus", MOD_CONTROL, 0xBD},
      {"Alt+Backquote", MOD_ALT, 0xC0},
      {"Alt+`", MOD_ALT, 0xC0},
      {"Control+BracketLeft", MOD_CONTROL, 0xDB},
      {"Control+]", MOD_CONTROL, 0xDD},
      {"Control+Backslash", MOD_CONTROL, 0xDC},
      {"Control+Semicolon", MOD_CONTROL, 0xBA},
      {"Control+Quote", MOD_CONTROL, 0xDE},
      {"Control+Comma", MOD_CONTROL, 0xBC},
      {"Control+Period", MOD_CONTROL, 0xBE},
      {"Control+Slash", MOD_CONTROL, 0xBF},
      {"Shift+Tab", MOD_SHIFT, 0x09},
      {"Control+Backspace", MOD_CONTROL, 0x08},
      {"Escape", 0, 0x1B},
      {"Esc", 0, 0x1B},
      {"Control+ArrowUp", MOD_CONTROL, 0x26},
      {"Control+Down", MOD_CONTROL, 0x28},
      {"Control+ArrowLeft", MOD_CONTROL, 0x25},
      {"Control+Right", MOD_CONTROL, 0x27},
      {"Control+Home", MOD_CONTROL, 0x24},
      {"Control+End", MOD_CONTROL, 0x23},
      {"Control+PageUp", MOD_CONTROL, 0x21},
      {"Control+PageDown", MOD_CONTROL, 0x22},
      {"Control+Insert", MOD_CONTROL, 0x2D},
      {"Control+Numpad7", MOD_CONTROL, 0x67},
      {"Control+Num0", MOD_CONTROL, 0x60},
      {"Control+NumpadAdd", MOD_CONTROL, 0x6B},
      {"Control+NumpadDivide", MOD_CONTROL, 0x6F},
      {"Control+NumpadDecimal", MOD_CONTROL, 0x6E},
      {"AudioVolumeUp", 0, 0xAF},
      {"MediaPlayPause", 0, 0xB3},
  };
  for (const Valid& c : cases) {
    const auto hotkey = parse_accelerator(c.text);
    ASSERT_TRUE(hotkey.has_value()) << c.text;
    EXPECT_EQ(hotkey->modifiers, c.modifiers) << c.text;
    EXPECT_EQ(hotkey->vk, c.vk) << c.text;
  }
}

TEST(ParseAccelerator, RefusesEverythingElse) {
  const char* const cases[] = {
      "",
      " ",
      "+",
      "Control+",
      "+U",
      "Control++U",
      "Control+Shift",     // no key
      "Control",           // a modifier is not a key
      "Control+U+K",       // two keys
      "U+Control",         // the key comes last
      "Hyper+U",           // unknown modifier
      "Control+Foo",       // unknown key
      "Control+KeyUU",
      "Control+Key1",
      "Control+Digit10",
      "Control+F0",
      "Control+F25",
      "Control+F01",
      "Control+Numpad10",
      "Control+UU",
      "Control+Ü",
      "Control-Shift-U",
      "Control Shift U",
  };
  for (const char* text : cases) {
    EXPECT_FALSE(parse_accelerator(text).has_value()) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace harvel
