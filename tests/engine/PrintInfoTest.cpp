// CPrintInfo: the message class of item and folder jobs, and a page range that outlives the
// settings it was taken from.
#include "engine/PrintInfo.h"

#include <gtest/gtest.h>

#include "tests/engine/PrintJobFixtures.h"

namespace {

using namespace enginetest;

class PrintInfoTest : public PrintJobTest {};

TEST_F(PrintInfoTest, MessageClassComesFromTheFolderElseTheItem) {
  FakePtr item = fakeItem(u"IPM.Note.Custom");
  CPrintInfo memoJob(item);
  EXPECT_TRUE(memoJob.single());
  ASSERT_TRUE(memoJob.getItem());
  EXPECT_EQ(memoJob.getMessageClass(), u"IPM.Note.Custom");
  EXPECT_EQ(memoJob.getFolder(), nullptr);

  FakePtr folder = fakeFolder(u"IPM.Contact");
  CPrintInfo tableJob(kFolderJob, folder);
  EXPECT_FALSE(tableJob.single());
  EXPECT_FALSE(tableJob.getItem());
  EXPECT_EQ(tableJob.getMessageClass(), u"IPM.Contact");
  EXPECT_EQ(folder->count(u"get DefaultMessageClass"), 1u);

  FakePtr unreadable = makeFake();
  unreadable->failing(0x3107, u"DefaultMessageClass", E_ACCESSDENIED);
  EXPECT_TRUE(CPrintInfo(kFolderJob, unreadable).getMessageClass().empty());
  EXPECT_TRUE(CPrintInfo(makeFake()).getMessageClass().empty());
  EXPECT_TRUE(CPrintInfo(nullptr).getMessageClass().empty());
}

// The range set from a custom button's action survives a save that replaces every button.
TEST_F(PrintInfoTest, RangeOutlivesTheSettingsItWasTakenFrom) {
  CSettings& settings = CSettings::instance();
  ASSERT_FALSE(settings.getSettingsData().buttons.buttons.empty());
  settings.getSettingsData().buttons.buttons[0].action.printOptions = {2, 3, 1, 0};

  CPrintInfo job(fakeItem(u"IPM.Note"));
  EXPECT_EQ(job.getRange(), nullptr);
  job.setRange(settings.getSettingsData().buttons.buttons[0].action.printOptions);
  const CPrintInfo printerCopy(job);

  SettingsData changed = settings.getSettingsData();
  changed.buttons.buttons.assign(5, CustomButton{});
  for (CustomButton& b : changed.buttons.buttons) b.action.printOptions = {7, 9, 2, 3};
  ASSERT_TRUE(settings.save(changed));
  settings.getSettingsData().buttons.buttons.clear();
  settings.getSettingsData().buttons.buttons.shrink_to_fit();

  for (const CPrintInfo* j : {static_cast<const CPrintInfo*>(&job), &printerCopy}) {
    ASSERT_NE(j->getRange(), nullptr);
    EXPECT_EQ(*j->getRange(), (PrintOptions{2, 3, 1, 0}));
  }
  job.clearRange();
  EXPECT_EQ(job.getRange(), nullptr);
  EXPECT_NE(printerCopy.getRange(), nullptr);
}

}  // namespace
