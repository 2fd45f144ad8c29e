#include "kantele/IEditorDelegate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kantele {
namespace {

// A bare delegate that records what reaches its notification and push operations.
class RecordingDelegate : public IEditorDelegate {
 public:
  explicit RecordingDelegate(int n) : IEditorDelegate(n) {}
  using IEditorDelegate::OnParamChange;
  void OnParamChange(int idx) override { mLog.push_back("change " + std::to_string(idx)); }
  void OnParamChangeInEditor(int idx, EParamSource src) override {
    mLog.push_back("editor " + std::to_string(idx) + " " + ParamSourceName(src));
  }
  bool OnEditorMessage(int msgTag, int ctrlTag, int size, const void*) override {
    mLog.push_back("msg " + std::to_string(msgTag) + " " + std::to_string(ctrlTag) + " " +
                   std::to_string(size));
    return true;
  }
  void PushParamValueToEditor(int idx, double v, bool norm) override {
    mLog.push_back("push " + std::to_string(idx) + " " + std::to_string(v) + (norm ? " n" : ""));
  }
  void BeginParamEditFromEditor(int) override {}
  void EndParamEditFromEditor(int) override {}
  std::vector<std::string> mLog;
};

TEST(EditorDelegateTest, NotifyAllParamsChangedVisitsEachIndexEffectThenEditor) {
  RecordingDelegate d(7);
  d.NotifyAllParamsChanged(kSourceReset);
  std::vector<std::string> expected;
  for (int i = 0; i < 7; ++i) {
    expected.push_back("change " + std::to_string(i));
    expected.push_back("editor " + std::to_string(i) + " Reset");
  }
  EXPECT_EQ(d.mLog, expected);
}

TEST(EditorDelegateTest, SourcedChangeReachesTheOneArgumentNotification) {
  RecordingDelegate d(7);
  d.OnParamChange(2, kSourceHost, -1);
  EXPECT_EQ(d.mLog, std::vector<std::string>{"change 2"});
  EXPECT_STREQ(ParamSourceName(kSourceEditorDelegate), "Editor Delegate");
  EXPECT_STREQ(ParamSourceName(kSourceRecompile), "Recompile");
  EXPECT_STREQ(ParamSourceName(static_cast<EParamSource>(42)), "Unknown");
  EXPECT_STREQ(ParamSourceName(static_cast<EParamSource>(-1)), "Unknown");
}

TEST(EditorDelegateTest, ParametersExistInDefaultStateAndOutOfRangeGivesNone) {
  RecordingDelegate d(3);
  ASSERT_EQ(d.NParams(), 3);
  EXPECT_EQ(d.GetParam(2)->GetValue(), 0.0);
  EXPECT_EQ(d.GetParam(3), nullptr);
  EXPECT_EQ(d.GetParam(-1), nullptr);
  EXPECT_EQ(d.GetEditorWidth(), 0);
  EXPECT_EQ(d.GetMinWidth(), 10);
  EXPECT_EQ(d.GetMaxHeight(), 100000);
  RecordingDelegate none(-4);
  EXPECT_EQ(none.NParams(), 0);
  none.SendAllParamValuesToEditor();
  none.NotifyAllParamsChanged(kSourceHost);
  EXPECT_TRUE(none.mLog.empty());
}

TEST(EditorDelegateTest, DefaultsForwardToTheEditorHooks) {
  RecordingDelegate d(2);
  d.GetParam(1)->ConfigureDouble("Gain", 50., 0., 200., 1.);
  // Opening the editor and restoring state both send every value, normalised.
  EXPECT_EQ(d.OpenWindow(nullptr), nullptr);
  d.OnStateRestored();
  const std::vector<std::string> sends = {"push 0 0.000000 n", "push 1 0.250000 n"};
  ASSERT_EQ(d.mLog.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(d.mLog.begin(), d.mLog.begin() + 2), sends);
  EXPECT_EQ(std::vector<std::string>(d.mLog.begin() + 2, d.mLog.end()), sends);
  d.mLog.clear();

  d.PushControlMsgToEditor(5, 9, 3, "abc");
  d.PushMessageToEditor(8, 0, nullptr);
  EXPECT_EQ(d.mLog, (std::vector<std::string>{"msg 9 5 3", "msg 8 -1 0"}));
  d.mLog.clear();

  // Without the plug-in base, a value from the editor sets the parameter and tells the editor.
  d.ParamValueFromEditor(1, 0.5);
  EXPECT_EQ(d.GetParam(1)->GetValue(), 100.0);
  d.ParamValueFromEditor(7, 0.5);
  EXPECT_EQ(d.mLog, std::vector<std::string>{"editor 1 UI"});
  EXPECT_FALSE(d.ResizeFromEditor(100, 100, true));
}

TEST(EditorDelegateTest, SizeConstraintsAreOrderedSmallerFirst) {
  RecordingDelegate d(0);
  d.SetSizeConstraints(3260, 815, 505, 2020);
  EXPECT_EQ(d.GetMinWidth(), 815);
  EXPECT_EQ(d.GetMaxWidth(), 3260);
  EXPECT_EQ(d.GetMinHeight(), 505);
  EXPECT_EQ(d.GetMaxHeight(), 2020);
}

}  // namespace
}  // namespace kantele
