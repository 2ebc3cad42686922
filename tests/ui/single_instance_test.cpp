// One instance per runtime directory: a second start finds the first and makes it come forward.
#include <QTest>
#include <gtest/gtest.h>

#include "app/ui/single_instance.h"
#include "../test_files.h"

using murmura::ui::SingleInstance;

TEST(SingleInstance, SecondStartRaisesTheFirstAndStepsBack) {
    murmura::test::ScratchDirectory dir{"murmura-instance"};
    const QString runtime = QString::fromStdString(dir.path().string());
    int raised = 0;
    auto first = std::make_unique<SingleInstance>(runtime, [&] { ++raised; });
    ASSERT_EQ(first->outcome(), SingleInstance::Outcome::primary);
    SingleInstance second(runtime, [] { FAIL() << "the second instance must not serve"; });
    EXPECT_EQ(second.outcome(), SingleInstance::Outcome::raisedOther);
    EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 5000));
    // Once the first is gone, the next start is the primary again.
    first.reset();
    SingleInstance third(runtime, [] {});
    EXPECT_EQ(third.outcome(), SingleInstance::Outcome::primary);
}
