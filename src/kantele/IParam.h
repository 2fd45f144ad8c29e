#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kantele/Text.h"

namespace kantele {

class IParam;

/// What kind of value a parameter holds. A fresh parameter is `kKindNone`; configuring it
/// as a double parameter makes it `kKindDouble` unless a kind was already chosen. The kind
/// decides how the host is told about the parameter's range and whether free text parses
/// as a number (see `IParam::ParseValue`).
enum EParamKind : int32_t {
  kKindNone = 0,
  kKindBool = 1,
  kKindInt = 2,
  kKindEnum = 3,
  kKindDouble = 4,
};

/// Bits of `IParam::GetFlags`.
enum EParamFlags : int32_t {
  /// The host is told the parameter cannot be automated.
  kFlagNoAutomation = 1,
  /// Every stored value is rounded to a whole multiple of the step before clamping.
  kFlagQuantized = 2,
  /// The displayed number is the negated value; parsed text is negated back.
  kFlagInvertDisplay = 4,
  /// A non-zero displayed number with decimals carries an explicit "+" or "-".
  kFlagShowSign = 8,
};

/// The unit code every parameter of this system carries.
constexpr int32_t kParamUnitCode = 21;

/// Size of the name, label, group and display-text fields: 31 characters and a terminator.
constexpr int kParamTextSize = 32;

/// Longest text `IParam::FormatValue` writes, in bytes.
constexpr int kParamDisplayMaxLen = 32;

/// A fixed display text for one exact value. The layout (a double, then 32 zero-terminated
/// characters, 40 bytes) is part of the model.
struct DisplayTextEntry {
  double mValue;
  char mText[kParamTextSize];
};
static_assert(sizeof(DisplayTextEntry) == 40, "DisplayTextEntry is a double and 32 characters");

/// Replaces the built-in display formatting: receives the real value and the text to fill.
using DisplayFormatter = std::function<void(double value, Text& out)>;

/// One automatable parameter: a real value with a range, a step, a default, a name and a unit
/// label. The value travels normalised to [0, 1] between host, editor and parameter; the
/// mapping between real and normalised values is an exchangeable `Shape`.
///
/// Threads: the parameter is configured on the constructing thread before the host can call
/// in, and only its value changes afterwards. The value is a lock-free 64-bit atomic, so
/// the audio thread reads whole values while the host and the editor write them; every
/// other field is read-only once configured and needs no lock.
class IParam {
 public:
  /// An abstract mapping between normalised values in [0, 1] and real values. Mappings do
  /// not clamp; the parameter quantises and clamps around them.
  class Shape {
   public:
    virtual ~Shape() = default;
    /// Returns a new heap copy of this shape; the caller owns it. [main-thread] Allocates.
    virtual std::unique_ptr<Shape> Duplicate() const = 0;
    /// Called once, after the copy has been stored in `param`. [main-thread]
    virtual void Attach(IParam& param) = 0;
    /// A code telling editors how the mapping should be shown; 0 is linear.
    virtual int GetDisplayKind() const = 0;
    /// Real value for a normalised one. [any-thread] Never allocates or locks.
    virtual double MapToValue(double normalized, const IParam& param) const = 0;
    /// Normalised value for a real one. [any-thread] Never allocates or locks.
    virtual double MapToNormalized(double value, const IParam& param) const = 0;
  };

  /// Straight-line mapping: value = (maximum - minimum) * normalized + minimum.
  class ShapeLinear : public Shape {
   public:
    std::unique_ptr<Shape> Duplicate() const override;
    /// Keeps no state, so attaching does nothing.
    void Attach(IParam& param) override;
    /// Returns 0.
    int GetDisplayKind() const override;
    double MapToValue(double normalized, const IParam& param) const override;
    /// (value - minimum) / (maximum - minimum); a zero-width range maps to 0 rather than
    /// dividing by zero.
    double MapToNormalized(double value, const IParam& param) const override;
  };

  /// A parameter in the default state: kind none, unit 21, value 0, range [0, 1], step 1,
  /// default 0, precision 0, no flags, empty name, label and group, the linear shape, no
  /// formatter and no display texts. [main-thread] Allocates.
  IParam();
  ~IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  /// Configures a double parameter. In order: the kind becomes `kKindDouble` if none was
  /// chosen; name and label are copied (cut to 31 bytes at a character boundary) and the
  /// group emptied; the range becomes [minVal, max(maxVal, minVal + step)], with unit 21
  /// and no flags; the formatter is stored; the value starts at the quantised, clamped
  /// default; the display precision is the number of decimals the step needs (0 to 6); and
  /// the shape is replaced by a copy of `shape`, which is then attached to this parameter.
  /// Null texts count as empty. The stored step and default are the ones given.
  ///
  /// [main-thread] Configuration time only: not safe while other threads use the
  /// parameter. Allocates (the shape copy and the formatter).
  void ConfigureDouble(const char* name, double defaultVal, double minVal, double maxVal,
                       double step, const char* label = "", const Shape& shape = ShapeLinear(),
                       DisplayFormatter formatter = nullptr);

  /// Chooses the kind before configuring a boolean, integer or enumerated parameter;
  /// `ConfigureDouble` keeps any kind other than `kKindNone`. [main-thread] Configuration time
  /// only.
  void SetKind(EParamKind kind) { mKind = kind; }

  /// Replaces the flags (bits of `EParamFlags`) and stores the current value again so that
  /// it obeys them. `ConfigureDouble` clears the flags, so set them afterwards.
  /// [main-thread] Configuration time only. Never allocates.
  void SetFlags(int32_t flags);

  /// Appends a display-text entry: `value` is shown as `text` (cut to 31 bytes at a
  /// character boundary; null counts as empty) and `text` parses back to `value`. Order
  /// matters: the first entry equal to a value decides its display, so a later entry with
  /// the same value only adds another text that parses to it. An entry with an empty text
  /// stops the lookup for its value, so the number is shown instead.
  /// [main-thread] Configuration time only. Allocates when the table grows.
  void AddDisplayText(double value, const char* text);

  /// The current real value. [any-thread] Never allocates or locks.
  double GetValue() const { return mValue.load(); }

  /// Quantises and clamps `value`, then stores it. [any-thread] Never allocates or locks.
  void SetValue(double value);

  /// Stores the real value for a normalised one. [any-thread] Never allocates or locks.
  void SetFromNormalized(double normalized) { SetValue(ValueFromNormalized(normalized)); }

  /// Rounds `value` to a whole multiple of the step when `kFlagQuantized` is set (a step
  /// that is zero or not finite leaves it unrounded), then clamps it to [minimum, maximum].
  /// NaN becomes the minimum. [any-thread] Never allocates or locks.
  double QuantizeAndClamp(double value) const;

  /// The normalised value, in [0, 1], of the quantised and clamped `value`.
  /// [any-thread] Never allocates or locks.
  double NormalizedFromValue(double value) const;

  /// The quantised, clamped real value for `normalized`, which is mapped unclamped.
  /// [any-thread] Never allocates or locks.
  double ValueFromNormalized(double normalized) const;

  /// The current value normalised. [any-thread] Never allocates or locks.
  double GetValueNormalized() const { return NormalizedFromValue(GetValue()); }

  /// The default, real or normalised. [any-thread] Never allocates or locks.
  double GetDefaultValue(bool normalized = false) const;

  /// Writes the display text of `value` (a normalised value when `isNormalized`) into
  /// `out`, at most 32 characters. A formatter, when set, decides the text alone (its
  /// result is still cut to 32 characters). Otherwise, with `useDisplayTexts`, the first
  /// display-text entry equal to the value supplies a non-empty text. Otherwise the number
  /// is written, negated with `kFlagInvertDisplay`: with precision 0 as a rounded whole
  /// number (halves away from zero), else with `precision` decimals and, with
  /// `kFlagShowSign`, a sign on any non-zero number. Zero is never shown negative. Values
  /// outside the int range are shown in full (up to the 32-character cut) with precision 0.
  /// [any-thread] Not for the audio thread: allocates when `out` grows.
  void FormatValue(double value, bool isNormalized, Text& out, bool useDisplayTexts = true) const;

  /// The unit label, or "" when the display-text entry for the current value truncated
  /// toward zero has a non-empty text (the text then says everything).
  /// [any-thread] Never allocates or locks.
  const char* GetUnitLabel() const;

  /// Reads a value from display text, without changing the parameter: a display text that
  /// matches exactly (byte for byte) gives its entry's value as is; otherwise boolean and
  /// enumerated parameters give 0; otherwise the leading decimal number of the text (0 if
  /// none), negated with `kFlagInvertDisplay`, quantised and clamped. Null counts as "".
  /// [any-thread] Not for the audio thread: the C library's number conversion may allocate
  /// or consult the locale.
  double ParseValue(const char* text) const;
  /// As `ParseValue`, but a text that names no value is refused: answers false, leaving
  /// `value` as it was, when no display text matches and the text does not start with a
  /// finite decimal number (after white space), or names no display text of a boolean or
  /// enumerated parameter. What a user types is read with this, so junk changes nothing.
  /// [any-thread] Not for the audio thread, as `ParseValue`.
  bool TryParseValue(const char* text, double& value) const;

  /// The name (at most 31 characters). [any-thread]
  const char* GetParamName() const { return mName; }

  /// False when `kFlagNoAutomation` is set. [any-thread]
  bool IsAutomatable() const { return (mFlags & kFlagNoAutomation) == 0; }

  // Read-only accessors. [any-thread] Never allocate or lock.
  EParamKind GetKind() const { return mKind; }
  /// Whether the parameter is a two-state switch: a boolean, or a double whose range is exactly
  /// one step (every format shows such a parameter as a toggle). [any-thread]
  bool IsSwitch() const {
    return mKind == kKindBool || (mKind == kKindDouble && mStep > 0.0 && mMax - mMin == mStep);
  }
  int32_t GetUnit() const { return mUnit; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  int32_t GetDisplayPrecision() const { return mDisplayPrecision; }
  int32_t GetFlags() const { return mFlags; }
  const char* GetLabel() const { return mLabel; }
  const char* GetGroup() const { return mGroup; }
  const Shape& GetShape() const { return *mShape; }
  bool HasDisplayFormatter() const { return static_cast<bool>(mDisplayFormatter); }
  int GetNumDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }
  /// The text of the first display-text entry whose value equals `value` exactly, or "".
  const char* GetDisplayTextForValue(double value) const {
    const DisplayTextEntry* entry = FindDisplayText(value);
    return entry ? entry->mText : "";
  }

 private:
  /// The first display-text entry whose value equals `value` exactly, or null.
  const DisplayTextEntry* FindDisplayText(double value) const;
  /// A number read from text as a value: negated with `kFlagInvertDisplay`, quantised and
  /// clamped.
  double ValueOfNumber(double number) const;

  static_assert(std::atomic<double>::is_always_lock_free,
                "parameter values must be lock-free for the audio thread");

  EParamKind mKind = kKindNone;
  int32_t mUnit = kParamUnitCode;
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int32_t mDisplayPrecision = 0;
  int32_t mFlags = 0;
  char mName[kParamTextSize] = {};
  char mLabel[kParamTextSize] = {};
  char mGroup[kParamTextSize] = {};
  std::unique_ptr<Shape> mShape;
  DisplayFormatter mDisplayFormatter;
  std::vector<DisplayTextEntry> mDisplayTexts;
};

}  // namespace kantele
