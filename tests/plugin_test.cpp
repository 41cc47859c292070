#include "plugin.h"
#include "stand_in_ui.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

TEST(CreatePlugIn, AnswersKindAndTitle)
{
    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->QueryKind(), 2);
    EXPECT_STREQ(plugin->QueryTitle(), "Warcraft III MDL...");
    EXPECT_EQ(std::strlen(plugin->QueryTitle()), 19u);
}

TEST(CreatePlugIn, EveryCallMakesANewObject)
{
    std::unique_ptr<PlugInBase> first(CreatePlugIn());
    std::unique_ptr<PlugInBase> second(CreatePlugIn());
    EXPECT_NE(first.get(), second.get());
    EXPECT_NE(first->QueryTitle(), second->QueryTitle()); // each holds its own title
    EXPECT_STREQ(first->QueryTitle(), second->QueryTitle());
}

TEST(CreatePlugIn, RunWithoutAModelCallsNothing)
{
    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    StandInUi_Reset();
    int64_t calls = StandIn_LibraryCallCount();
    EXPECT_EQ(plugin->Run(nullptr), -1);
    EXPECT_EQ(StandIn_LibraryCallCount(), calls);
    EXPECT_EQ(StandInUi_DialogCount(), 0);
}

TEST(CreatePlugIn, RunExportsAndReturnsTheRunsStatus)
{
    std::unique_ptr<PlugInBase> plugin(CreatePlugIn());
    TempDir dir;
    TestModel model;
    model.AddMesh();
    StandInUi_Reset();
    StandInUi_AnswerWithPath(dir.Path("plugin.mdl"));
    EXPECT_EQ(plugin->Run(model.handle()), 0);
    EXPECT_EQ(model.destroy_count(), 1);
    EXPECT_NE(ReadFile(dir.Path("plugin.mdl")).find("PASTE HEADING HERE"), std::string::npos);
    StandInUi_AnswerWithPath(dir.Path("no/such/folder.mdl"));
    TestModel second;
    second.AddMesh();
    EXPECT_EQ(plugin->Run(second.handle()), -1);
}
