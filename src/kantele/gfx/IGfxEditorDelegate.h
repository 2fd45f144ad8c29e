#pragma once

#include <functional>
#include <memory>

#include "kantele/IEditorDelegate.h"

namespace kantele {
namespace gfx {

class IGfx;

/// Makes the editor's graphics context; may answer null when no editor can be made.
using MakeGraphicsFunc = std::function<std::unique_ptr<IGfx>()>;
/// Fills a graphics context with the editor's controls.
using LayoutFunc = std::function<void(IGfx&)>;

/// The editor delegate with a graphics editor.
///
/// It holds the factory that makes the graphics context and the layout that fills it, the
/// context itself while the editor is open, and the size and draw scale the editor had when
/// it last closed (or the opening size an editor sets), so that a user's resizing survives
/// closing and reopening the editor and the host knows the size before it opens. Values
/// pushed to the editor reach the context's controls; while the editor is closed only the
/// notification hooks run, and nothing is queued for later.
///
/// The editor state (width, height, scale) is kept here and is not part of the plug-in's
/// state chunk.
///
/// [main-thread] Everything runs on the host's user-interface thread; values from the audio
/// thread arrive through the plug-in base's queues. The closing mark guards re-entry on that
/// one thread; it is not a lock.
class IGfxEditorDelegate : public IEditorDelegate {
 public:
  explicit IGfxEditorDelegate(int nParams);
  /// Closes the editor if it is still open.
  ~IGfxEditorDelegate() override;

  /// Makes a context when none is held (resized to the saved size and scale when there is
  /// one) and opens its window in `parent`; answers the window, or null when no context or no
  /// window was made.
  void* OpenWindow(void* parent) override;
  /// Keeps the context's size and scale, closes its window and destroys it. A close requested
  /// while one is in progress returns at once.
  void CloseWindow() override;

  bool OnKeyDown(const KeyPress& key) override;
  bool OnKeyUp(const KeyPress& key) override;

  void PushControlValueToEditor(int ctrlTag, double normalized) override;
  void PushControlMsgToEditor(int ctrlTag, int msgTag, int dataSize, const void* data) override;
  void PushMidiToEditor(const MidiMsg& msg) override;
  /// Every control value bound to `paramIdx` takes the value (normalised first when
  /// `isNormalized` is false), unless its control is being dragged.
  void PushParamValueToEditor(int paramIdx, double value, bool isNormalized) override;

  /// Three 4-byte values: width, height (32-bit signed) and draw scale (32-bit float) of the
  /// open editor, or the saved ones while it is closed. Answers whether all were appended.
  bool SerializeEditorState(ByteChunk& chunk) const override;
  /// Reads width, height and scale. A read past the end, or from a negative position, gives 0
  /// and the position -1, and the later reads fail too. Closed: the values become the saved
  /// ones. Open: the editor is resized when all three are non-zero. Answers the position
  /// after the scale, or -1.
  int UnserializeEditorState(const ByteChunk& chunk, int startPos) override;
  void SetScreenScale(float scale) override;

  /// The largest window within `width` x `height` that the open editor can take: its design
  /// size at one zoom within its zoom range, the aspect ratio kept (the smallest zoom's window
  /// when even that is larger). Closed, the answer is the editor size the host knows.
  /// Answers whether an editor is open. [main-thread]
  bool ConstrainEditorWindow(int& width, int& height) const;
  /// The host made the editor's window `width` x `height`: the open editor takes the zoom of
  /// the nearest size it can take. Answers false when no editor is open. [main-thread]
  bool ResizeEditorWindow(int width, int height);

  /// The factory's context, or null without a factory.
  virtual std::unique_ptr<IGfx> MakeGraphics();
  /// Runs the layout on `graphics` when one is set.
  virtual void RunLayout(IGfx& graphics);

  /// The design size and draw scale the next context opens at (a close keeps its own). Until
  /// the editor opens, the editor size the host is told (`GetEditorWidth`/`GetEditorHeight`)
  /// is the window at that scale and screen scale 1 (the screen is known only once a window
  /// is open), so that a host sizing its frame before opening gets the size it opens at.
  void SetOpeningSize(int width, int height, float scale);

  void SetMakeGraphicsFunc(MakeGraphicsFunc f) { mMakeGraphicsFunc = std::move(f); }
  void SetLayoutFunc(LayoutFunc f) { mLayoutFunc = std::move(f); }

  /// The open editor's context, or null.
  IGfx* GetUI() const { return mGraphics.get(); }
  int GetSavedWidth() const { return mSavedWidth; }
  int GetSavedHeight() const { return mSavedHeight; }
  float GetSavedScale() const { return mSavedScale; }

 private:
  // The largest zoom within the open editor's range whose window fits in `width` x `height`
  // (the smallest zoom when none does).
  float ZoomForWindow(int width, int height) const;
  // A host key event for the open editor, at the pointer's position.
  bool RouteKey(const KeyPress& key, bool isUp);

  MakeGraphicsFunc mMakeGraphicsFunc;
  LayoutFunc mLayoutFunc;
  std::unique_ptr<IGfx> mGraphics;
  int32_t mSavedWidth = 0;
  int32_t mSavedHeight = 0;
  float mSavedScale = 0.f;
  bool mClosing = false;
};

}  // namespace gfx
}  // namespace kantele
