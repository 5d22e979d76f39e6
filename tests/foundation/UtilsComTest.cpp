#include <gtest/gtest.h>

#include <sstream>

#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/com/Com.h"
#include "tests/support/TestEnvironment.h"

namespace {

inline constexpr IID IID_IFirstFace = platform::com::guid("0C5E6A11-7D2B-4F4A-8E3C-5B1A2D3C4E01");
inline constexpr IID IID_ISecondFace = platform::com::guid("0C5E6A11-7D2B-4F4A-8E3C-5B1A2D3C4E02");
struct IFirstFace : IUnknown {};
struct ISecondFace : IUnknown {};

}  // namespace

QM_DECLARE_INTERFACE_IID(IFirstFace, IID_IFirstFace);
QM_DECLARE_INTERFACE_IID(ISecondFace, IID_ISecondFace);

namespace {

// One object seen through two interfaces whose pointers differ.
class CExplorer : public CComObjectRootEx<CComSingleThreadModel>, public IFirstFace, public ISecondFace {
 public:
  BEGIN_COM_MAP(CExplorer)
    COM_INTERFACE_ENTRY(IFirstFace)
    COM_INTERFACE_ENTRY(ISecondFace)
  END_COM_MAP()
  LONG refs() const { return m_dwRef; }
};

class UtilsComTest : public testsupport::IsolatedTest {
 protected:
  void TearDown() override { CLogger::instance().resetForTesting(); }
};

TEST_F(UtilsComTest, SameObjectThroughDifferentInterfacesIsEqual) {
  auto explorer = CComObject<CExplorer>::Make();
  IFirstFace* first = explorer;
  ISecondFace* second = explorer;
  ASSERT_NE(static_cast<void*>(first), static_cast<void*>(second));
  EXPECT_TRUE(NUtils::CompareInterfaces(first, second));
  EXPECT_EQ(explorer->refs(), 1);  // both identities were released

  auto other = CComObject<CExplorer>::Make();
  EXPECT_FALSE(NUtils::CompareInterfaces(first, static_cast<IFirstFace*>(other)));
  EXPECT_FALSE(NUtils::CompareInterfaces(first, nullptr));
  EXPECT_FALSE(NUtils::CompareInterfaces(nullptr, nullptr));
}

TEST_F(UtilsComTest, ExplorerComparisonLogsFirst) {
  const auto path = dir() / "log.txt";
  ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(path.string())));
  NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"Debug");
  auto explorer = CComObject<CExplorer>::Make();
  EXPECT_TRUE(NUtils::CompareExplorerInterfaces(static_cast<IFirstFace*>(explorer), static_cast<ISecondFace*>(explorer)));
  EXPECT_FALSE(NUtils::CompareExplorerInterfaces(nullptr, static_cast<ISecondFace*>(explorer)));
  NLog::switchOff();
  const std::string log = testsupport::readFile(path);
  EXPECT_NE(log.find("Debug   NUtils::CompareExplorerInterfaces"), std::string::npos) << log;
}

}  // namespace
