// Names each row of a table-driven test by its `name` member.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kestrion::testing_support {

struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    return row.param.name;
  }
};

}  // namespace kestrion::testing_support
