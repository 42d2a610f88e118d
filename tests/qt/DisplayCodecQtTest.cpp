// The display codec's contract over Qt's GBK converter, which the Qt host shows its text with.
#include <gtest/gtest.h>

#include "DisplayCodecContract.h"
#include "common/TestNames.h"
#include "qt/QtConverter.h"

namespace kestrion {
namespace {

using testing_support::CodecCase;
using testing_support::DisplayCodecContract;

INSTANTIATE_TEST_SUITE_P(Qt, DisplayCodecContract, testing::Values(CodecCase{"QtGbk", &QtGbkConverter()}),
                         testing_support::RowName());

}  // namespace
}  // namespace kestrion
