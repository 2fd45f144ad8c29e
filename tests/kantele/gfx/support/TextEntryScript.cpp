#include "kantele/gfx/support/TextEntryScript.h"

#include <string>

#include "kantele/gfx/controls/ITextEntryControl.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele {
namespace gfx {
namespace test {

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  size_t Left() const { return size - pos; }
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  std::string Bytes(size_t n) {
    n = n < Left() ? n : Left();
    std::string s(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return s;
  }
};

}  // namespace

bool PlayTextEntryScript(const uint8_t* data, size_t size) {
  Input in{data, size};
  TestEditor e(300, 200);
  // One parameter of each kind, so every key filter is exercised.
  e.dlg.ReplaceParam(1, kantele::kKindInt).ConfigureDouble("Steps", 4., 0., 10., 1.);
  e.dlg.ReplaceParam(2, kantele::kKindEnum).ConfigureDouble("Mode", 0., 0., 3., 1.);
  e.dlg.ReplaceParam(3, kantele::kKindBool).ConfigureDouble("On", 0., 0., 1., 1.);
  e.g.AttachTextEntryControl();
  auto* entry = static_cast<ITextEntryControl*>(e.g.GetTextEntryControl());
  if (!entry) return false;
  ProbeControl* target = e.Add("T", IRect(20, 20, 120, 60), in.Byte() % 4);
  const IRect box(20, 20, 120, 60);

  auto open = [&] {
    const std::string text = in.Bytes(in.Byte() % 24);
    e.g.OpenTextEntry(*target, ITextStyle(), box, text.c_str(), 0);
  };
  open();

  for (int step = 0; step < 200 && in.Left() > 0; ++step) {
    const uint8_t op = in.Byte() % 9;
    const float x = static_cast<float>(in.Byte()) * 0.6f;
    const float y = static_cast<float>(in.Byte()) * 0.3f;
    switch (op) {
      case 0:
      case 1: {  // a key with up to four bytes of text and any modifiers
        const int vk = in.Byte();
        const uint8_t mods = in.Byte();
        const std::string text = in.Bytes(in.Byte() % 5);
        e.g.OnKeyDown(x, y, KeyPress(text.c_str(), vk, mods & 1, mods & 2, mods & 4));
        break;
      }
      case 2: {  // whatever another program left on the clipboard, pasted
        const std::string clip = in.Bytes(in.Byte());
        e.g.WriteClipboardText(clip.c_str());
        e.g.OnKeyDown(x, y, KeyPress("v", 'V', false, true, false));
        break;
      }
      case 3: {  // a press, a drag and a release
        IMousePoint p = Pt(x, y, 0.f, 0.f, in.Byte() & 1);
        e.g.OnMouseDown({p});
        e.g.OnMouseDrag({Pt(x + 5.f, y, 5.f, 0.f)});
        e.g.OnMouseUp({Pt(x + 5.f, y)});
        break;
      }
      case 4: e.g.OnMouseDoubleClick(x, y, IMouseState()); break;
      case 5:  // undo or redo
        e.g.OnKeyDown(x, y, KeyPress("z", 'Z', in.Byte() & 1, true, false));
        break;
      case 6: {  // a frame: character widths, row layout, selection and caret
        IRectList rects;
        e.g.ClearDrawing();
        if (e.g.IsDirty(rects)) e.g.Draw(rects);
        break;
      }
      case 7:
        if (!entry->IsEditing()) open();
        break;
      default:
        e.g.OnKeyDown(x, y, KeyPress(nullptr, (in.Byte() & 1) ? 27 : 13, false, false, false));
        break;
    }
    // An ended edit leaves nothing animating and nothing in text entry.
    if (!entry->IsEditing() &&
        (entry->GetAnimationFunction() != nullptr || e.g.GetTextEntryEditingControl() != nullptr))
      return false;
  }
  return true;
}

}  // namespace test
}  // namespace gfx
}  // namespace kantele
