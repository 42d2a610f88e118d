// The About box: its template, and its OK button and cancel end it.
#include <gtest/gtest.h>

#include "FakeView.h"
#include "ScriptedPrompter.h"
#include "app/AboutDlg.h"
#include "app/ControlTable.h"

namespace kestrion {
namespace {

using testing_support::FakeView;
using testing_support::ScriptedPrompter;

TEST(AboutDlg, IsTemplate100WithOkFocused) {
  ScriptedPrompter prompter;
  CAboutDlg about;
  FakeView view(about, prompter);
  EXPECT_EQ(about.GetTemplate().id, kIddAboutBox);
  EXPECT_EQ(about.GetTemplate().caption, u"关于 Kestrion");
  EXPECT_EQ(view.Item(kIdOk).text, u"确定");
  EXPECT_EQ(view.GetFocus(), kIdOk);
}

TEST(AboutDlg, OkAndCancelEndIt) {
  ScriptedPrompter prompter;
  for (const int id : {kIdOk, kIdCancel}) {
    CAboutDlg about;
    FakeView view(about, prompter);
    about.OnCommand(id, Notification::Clicked);
    EXPECT_TRUE(view.Ended()) << id;
    EXPECT_EQ(view.Result(), id);
  }
}

}  // namespace
}  // namespace kestrion
