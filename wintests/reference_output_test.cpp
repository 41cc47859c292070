// The shared models exported through mdlexport.dll must give, byte for byte,
// the files that the native build wrote for them (make_reference, run by
// scripts/test-windows into the folder named by MDL_REFERENCE_DIR).
#include "shared_models.h"
#include "test_support_win.h"

#include <cstdlib>

namespace
{

class ReferenceOutput : public PlugInModuleTest, public ::testing::WithParamInterface<size_t>
{
};

TEST_P(ReferenceOutput, MatchesTheNativeExportByteForByte)
{
    const SharedModel& shared = SharedModels()[GetParam()];
    const char* reference_dir = std::getenv("MDL_REFERENCE_DIR");
    ASSERT_NE(reference_dir, nullptr)
        << "MDL_REFERENCE_DIR must name the folder that make_reference wrote";
    std::string reference;
    std::string reference_path = std::string(reference_dir) + "\\" + shared.name + ".mdl";
    ASSERT_TRUE(ReadWholeFile(reference_path, reference)) << "cannot read " << reference_path;

    void* object = Create();
    ASSERT_NE(object, nullptr);
    TestModel model;
    shared.fill(model.handle());
    TempFolder folder;
    UiDoubles().answer_with_path = true;
    UiDoubles().path = folder.Path(std::string(shared.name) + ".mdl");

    EXPECT_EQ(CallRun(object, model.handle()), 0);
    CallDestroy(object, 1);

    EXPECT_EQ(StandIn_DestroyCount(model.handle()), 1);
    std::string written;
    ASSERT_TRUE(ReadWholeFile(UiDoubles().path, written));
    EXPECT_EQ(written.size(), reference.size());
    EXPECT_TRUE(written == reference) << DescribeDifference(reference, written);
}

INSTANTIATE_TEST_SUITE_P(SharedModels, ReferenceOutput,
                         ::testing::Range<size_t>(0, SharedModels().size()),
                         [](const ::testing::TestParamInfo<size_t>& model)
                         { return std::string(SharedModels()[model.param].name); });

} // namespace
