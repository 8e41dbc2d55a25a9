// The shared command and option codes against the simulated module, which
// keeps its own copy: the build query through Module, and the system options
// the updater engine reads by name.
#include "ModuleCodes.h"
#include "SimFixture.h"

using namespace Mirovane::Kelvarion;

namespace {

using Bytes = std::vector<uint8_t>;

class ModuleCodes : public SimFixture {};

TEST_F(ModuleCodes, BuildQueryBytesAndTheModulesOwnAnswer) {
  uint32_t build = 0;
  ASSERT_EQ(aErrNone, module.buildNumber(&build));
  EXPECT_EQ(4711u, build);
  // The bytes on the wire, as the listing sent them when it built the packet itself.
  EXPECT_EQ((Bytes{0x49, 0xFF}), requests().at(0));
}

TEST_F(ModuleCodes, BuildAnswerIsTakenByCodeAndOptionPastOtherQueryAnswers) {
  // Another query's late answer arrives first and is passed by.
  simmodule::scriptReplies(device(), cmdQUERY,
                           {{cmdQUERY, QUERY_CLASS_QUANTITY, 3, 1}, {cmdQUERY, QUERY_BUILD, 0, 1, 0x86, 0xA0}});
  uint32_t build = 0;
  ASSERT_EQ(aErrNone, module.buildNumber(&build));
  EXPECT_EQ(100000u, build);
  // The passed-by answer still waits for the query it belongs to.
  uint8_t quantity = 0;
  EXPECT_EQ(aErrNone, module.classQuantity(3, &quantity));
  EXPECT_EQ(1, quantity);
}

TEST_F(ModuleCodes, SystemOptionsReadTheModulesValues) {
  SystemClass system;
  system.init(&module, 0);
  uint32_t serial = 0;
  ASSERT_EQ(aErrNone, system.getUEI32(SYSTEM_SERIAL_NUMBER, &serial));
  EXPECT_EQ(0x0012ABCDu, serial);
  uint8_t model = 0;
  ASSERT_EQ(aErrNone, system.getUEI8(SYSTEM_MODEL, &model));
  EXPECT_EQ(19, model);
  uint32_t version = 0;
  ASSERT_EQ(aErrNone, system.getUEI32(SYSTEM_VERSION, &version));
  EXPECT_EQ(0x2300002Au, version);
  uint8_t address = 0;
  ASSERT_EQ(aErrNone, system.getUEI8(SYSTEM_MODULE, &address));
  EXPECT_EQ(2, address);
  // The identifier words are subindexed reads of one option.
  simmodule::setUeiValue(device(), SystemClass::COMMAND, SYSTEM_IDENTIFIER, 0, 2, 4, 0xCAFEF00D);
  uint32_t word = 0;
  ASSERT_EQ(aErrNone, system.getUEI32(SYSTEM_IDENTIFIER, 2, &word));
  EXPECT_EQ(0xCAFEF00Du, word);
  const Bytes request = requests().back();
  EXPECT_EQ(static_cast<int>(SystemClass::COMMAND), request.at(0));
  EXPECT_EQ(SYSTEM_IDENTIFIER, request.at(1) & UEI_OPTION_MASK);
}

}  // namespace
