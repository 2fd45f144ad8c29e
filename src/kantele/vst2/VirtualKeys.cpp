#include "kantele/vst2/VirtualKeys.h"

#include "kantele/vst2/IVst2Adapter.h"

namespace kantele {

using namespace vst2;

int UsAsciiVirtualKey(char character) {
  constexpr int kShift = 0x100;
  const unsigned char c = static_cast<unsigned char>(character);
  if (c >= 'a' && c <= 'z') return 'A' + (c - 'a');
  if (c >= 'A' && c <= 'Z') return kShift | c;
  if (c >= '0' && c <= '9') return c;
  switch (c) {
    case '\b': return 0x08;
    case '\t': return 0x09;
    case '\r': return 0x0D;
    case 0x1B: return 0x1B;
    case ' ': return 0x20;
    // The shifted digits of the US layout.
    case ')': return kShift | '0';
    case '!': return kShift | '1';
    case '@': return kShift | '2';
    case '#': return kShift | '3';
    case '$': return kShift | '4';
    case '%': return kShift | '5';
    case '^': return kShift | '6';
    case '&': return kShift | '7';
    case '*': return kShift | '8';
    case '(': return kShift | '9';
    // Punctuation keys (the layout's OEM codes).
    case ';': return 0xBA;
    case ':': return kShift | 0xBA;
    case '=': return 0xBB;
    case '+': return kShift | 0xBB;
    case ',': return 0xBC;
    case '<': return kShift | 0xBC;
    case '-': return 0xBD;
    case '_': return kShift | 0xBD;
    case '.': return 0xBE;
    case '>': return kShift | 0xBE;
    case '/': return 0xBF;
    case '?': return kShift | 0xBF;
    case '`': return 0xC0;
    case '~': return kShift | 0xC0;
    case '[': return 0xDB;
    case '{': return kShift | 0xDB;
    case '\\': return 0xDC;
    case '|': return kShift | 0xDC;
    case ']': return 0xDD;
    case '}': return kShift | 0xDD;
    case '\'': return 0xDE;
    case '"': return kShift | 0xDE;
    default: return -1;
  }
}

int IVst2Adapter::VirtualKeyOf(int vstKey, char character) {
  switch (vstKey) {
    case 0:
    case VKEY_EQUALS: return CharacterVirtualKey(character);
    case VKEY_BACK: return 8;
    case VKEY_TAB: return 9;
    case VKEY_CLEAR: return 12;
    case VKEY_RETURN: return 13;
    case VKEY_PAUSE: return 19;
    case VKEY_ESCAPE: return 27;
    case VKEY_SPACE: return 32;
    case VKEY_NEXT:
    case VKEY_PAGEDOWN: return 34;
    case VKEY_END: return 35;
    case VKEY_HOME: return 36;
    case VKEY_LEFT: return 37;
    case VKEY_UP: return 38;
    case VKEY_RIGHT: return 39;
    case VKEY_DOWN: return 40;
    case VKEY_PAGEUP: return 33;
    case VKEY_SELECT: return 41;
    case VKEY_PRINT: return 42;
    case VKEY_ENTER: return 13;
    case VKEY_SNAPSHOT: return 44;
    case VKEY_INSERT: return 45;
    case VKEY_DELETE: return 46;
    case VKEY_HELP: return 47;
    case VKEY_NUMLOCK: return 144;
    case VKEY_SCROLL: return 145;
    case VKEY_SHIFT: return 16;
    case VKEY_CONTROL: return 17;
    case VKEY_ALT: return 18;
    default: break;
  }
  if (vstKey >= VKEY_NUMPAD0 && vstKey <= VKEY_NUMPAD9) return 96 + (vstKey - VKEY_NUMPAD0);
  if (vstKey >= VKEY_MULTIPLY && vstKey <= VKEY_DIVIDE) return 106 + (vstKey - VKEY_MULTIPLY);
  if (vstKey >= VKEY_F1 && vstKey <= VKEY_F12) return 112 + (vstKey - VKEY_F1);
  return 0;
}

}  // namespace kantele
