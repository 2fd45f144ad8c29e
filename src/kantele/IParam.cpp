#include "kantele/IParam.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kantele {

namespace {

constexpr int kMaxDisplayPrecision = 6;

void CopyField(char (&dst)[kParamTextSize], const char* src) { Utf8CopyCut(dst, sizeof(dst), src); }

}  // namespace

// ---------------------------------------------------------------------------------------
// ShapeLinear

std::unique_ptr<IParam::Shape> IParam::ShapeLinear::Duplicate() const {
  return std::make_unique<ShapeLinear>(*this);
}

void IParam::ShapeLinear::Attach(IParam&) {}

int IParam::ShapeLinear::GetDisplayKind() const { return 0; }

double IParam::ShapeLinear::MapToValue(double normalized, const IParam& param) const {
  return (param.GetMax() - param.GetMin()) * normalized + param.GetMin();
}

double IParam::ShapeLinear::MapToNormalized(double value, const IParam& param) const {
  const double range = param.GetMax() - param.GetMin();
  // A zero-width range (left by a zero step, or one lost against a huge minimum) holds
  // only the minimum, which sits at 0; dividing would give NaN.
  if (range == 0.0) return 0.0;
  return (value - param.GetMin()) / range;
}

// ---------------------------------------------------------------------------------------
// IParam

IParam::IParam() : mShape(std::make_unique<ShapeLinear>()) {}

IParam::~IParam() = default;

void IParam::ConfigureDouble(const char* name, double defaultVal, double minVal, double maxVal,
                             double step, const char* label, const Shape& shape,
                             DisplayFormatter formatter) {
  if (mKind == kKindNone) mKind = kKindDouble;

  // Names longer than their field are cut rather than written past it.
  CopyField(mName, name);
  CopyField(mLabel, label);
  CopyField(mGroup, "");

  mMin = minVal;
  mMax = std::max(maxVal, minVal + step);
  mStep = step;
  mDefault = defaultVal;
  mUnit = kParamUnitCode;
  mFlags = 0;

  mDisplayFormatter = std::move(formatter);

  SetValue(defaultVal);

  int precision = 0;
  for (double s = step; s != std::round(s) && precision < kMaxDisplayPrecision; s *= 10.0) {
    ++precision;
  }
  mDisplayPrecision = precision;

  mShape = shape.Duplicate();
  mShape->Attach(*this);
}

void IParam::SetFlags(int32_t flags) {
  mFlags = flags;
  SetValue(GetValue());
}

void IParam::AddDisplayText(double value, const char* text) {
  DisplayTextEntry entry{value, {}};
  CopyField(entry.mText, text);
  mDisplayTexts.push_back(entry);
}

void IParam::SetValue(double value) { mValue.exchange(QuantizeAndClamp(value)); }

double IParam::QuantizeAndClamp(double value) const {
  // A zero or infinite step would turn every value into NaN (and so into the minimum).
  if ((mFlags & kFlagQuantized) && mStep != 0.0 && std::isfinite(mStep)) {
    value = std::round(value / mStep) * mStep;
  }
  // std::max returns its first argument when the comparison fails, so NaN becomes mMin.
  value = std::max(mMin, value);
  return std::min(mMax, value);
}

double IParam::NormalizedFromValue(double value) const {
  const double n = mShape->MapToNormalized(QuantizeAndClamp(value), *this);
  return std::min(1.0, std::max(0.0, n));
}

double IParam::ValueFromNormalized(double normalized) const {
  return QuantizeAndClamp(mShape->MapToValue(normalized, *this));
}

double IParam::GetDefaultValue(bool normalized) const {
  return normalized ? NormalizedFromValue(mDefault) : mDefault;
}

const DisplayTextEntry* IParam::FindDisplayText(double value) const {
  for (const DisplayTextEntry& entry : mDisplayTexts) {
    if (entry.mValue == value) return &entry;
  }
  return nullptr;
}

void IParam::FormatValue(double value, bool isNormalized, Text& out, bool useDisplayTexts) const {
  if (isNormalized) value = ValueFromNormalized(value);

  if (mDisplayFormatter) {
    mDisplayFormatter(value, out);
    out.Truncate(kParamDisplayMaxLen);
    return;
  }

  if (useDisplayTexts) {
    const DisplayTextEntry* entry = FindDisplayText(value);
    if (entry && entry->mText[0] != '\0') {
      out.Set(entry->mText, kParamDisplayMaxLen);
      return;
    }
  }

  double d = (mFlags & kFlagInvertDisplay) ? -value : value;
  if (d == 0.0) d = 0.0;  // -0.0 compares equal: never show a minus on zero.

  if (mDisplayPrecision == 0) {
    // Shows the rounded value as "%d" would, without converting to int: a value outside
    // the int range (or NaN) would make that conversion undefined. Rounding can produce
    // -0.0 (for -0.4, say), which is shown as 0 like any other zero.
    double rounded = std::round(d);
    if (rounded == 0.0) rounded = 0.0;
    out.SetFormatted(kParamDisplayMaxLen, "%.0f", rounded);
  } else if ((mFlags & kFlagShowSign) && d != 0.0) {
    out.SetFormatted(kParamDisplayMaxLen, "%+.*f", mDisplayPrecision, d);
  } else {
    out.SetFormatted(kParamDisplayMaxLen, "%.*f", mDisplayPrecision, d);
  }
}

const char* IParam::GetUnitLabel() const {
  const DisplayTextEntry* entry = FindDisplayText(std::trunc(GetValue()));
  if (entry && entry->mText[0] != '\0') return "";
  return mLabel;
}

bool IParam::TryParseValue(const char* text, double& value) const {
  if (!text) text = "";
  for (const DisplayTextEntry& entry : mDisplayTexts) {
    if (std::strcmp(entry.mText, text) == 0) {
      value = entry.mValue;
      return true;
    }
  }
  if (mKind == kKindBool || mKind == kKindEnum) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  value = ValueOfNumber(v);
  return true;
}

double IParam::ParseValue(const char* text) const {
  double value = 0.0;  // what boolean and enumerated parameters give for unknown text
  if (TryParseValue(text, value) || mKind == kKindBool || mKind == kKindEnum) return value;
  // No number, or not a finite one: what the conversion gives (0, or an infinity) is still
  // quantised and clamped, as hosts setting values by text have always seen it.
  return ValueOfNumber(std::strtod(text ? text : "", nullptr));
}

double IParam::ValueOfNumber(double number) const {
  return QuantizeAndClamp((mFlags & kFlagInvertDisplay) ? -number : number);
}

}  // namespace kantele
