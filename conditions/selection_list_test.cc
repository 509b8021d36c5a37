#include "conditions/selection_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/base/process_exit.h"
#include "driver/base/settings.h"
#include "tests/support/fresh_state_test.h"

namespace {

class SelectionListTest : public test_support::FreshStateTest {
 protected:

  static option_input* PciIds(const std::string& text) {
    return save_list_of_pci_ids(text.c_str());
  }
  static option_input* Ctrl(std::string text, int kind) {
    return save_list_of_ctrl_options(text.data(), kind);
  }

  // The status with which the call ended the process, or -1.
  template <typename Call>
  static int StatusOf(Call call) {
    try {
      call();
    } catch (const ProcessExit& exit) {
      return exit.status;
    }
    return -1;
  }

  static std::vector<const option_input*> Nodes(const option_input* head) {
    std::vector<const option_input*> nodes;
    for (; head != nullptr; head = head->next) nodes.push_back(head);
    return nodes;
  }
};

TEST_F(SelectionListTest, PciIdGroups) {
  auto nodes = Nodes(PciIds("19A2:0710,19A2:0714"));
  ASSERT_EQ(2u, nodes.size());
  EXPECT_EQ(0x19A2, nodes[0]->PciVendorId);
  EXPECT_EQ(0x0710, nodes[0]->PciDeviceId);
  EXPECT_EQ(0x0714, nodes[1]->PciDeviceId);
  EXPECT_EQ("0714", nodes[1]->PciDeviceIdText);
  EXPECT_EQ(0, nodes[1]->PciSubVendorId);
  EXPECT_EQ(0, nodes[1]->PciSubDeviceId);
  EXPECT_EQ("", nodes[1]->PciSubVendorIdText);

  ResetSelectionLists();
  nodes = Nodes(PciIds("19A2:0710:1e5d:11C1"));
  ASSERT_EQ(1u, nodes.size());
  EXPECT_EQ(0x1E5D, nodes[0]->PciSubVendorId);
  EXPECT_EQ("1e5d", nodes[0]->PciSubVendorIdText);
  EXPECT_EQ(0x11C1, nodes[0]->PciSubDeviceId);
}

TEST_F(SelectionListTest, PciIdColonRuns) {
  auto nodes = Nodes(PciIds("::19A2::0710:"));
  ASSERT_EQ(1u, nodes.size());
  EXPECT_EQ(0x19A2, nodes[0]->PciVendorId);
  EXPECT_EQ(0x0710, nodes[0]->PciDeviceId);

  // A group of colons only leaves its node as it was.
  ResetSelectionLists();
  PciIds("1:2,3:4");
  nodes = Nodes(PciIds(":::,5:6"));
  ASSERT_EQ(2u, nodes.size());
  EXPECT_EQ(1, nodes[0]->PciVendorId);
  EXPECT_EQ(2, nodes[0]->PciDeviceId);
  EXPECT_EQ(5, nodes[1]->PciVendorId);
}

TEST_F(SelectionListTest, EmptyPciIdGroupEndsTheList) {
  for (const char* text : {"19A2:0710,,19A2:0714", "19A2:0710,"}) {
    ResetSelectionLists();
    auto nodes = Nodes(PciIds(text));
    ASSERT_EQ(1u, nodes.size()) << text;
    EXPECT_EQ(0x0710, nodes[0]->PciDeviceId);
  }
  ResetSelectionLists();
  auto nodes = Nodes(PciIds(",19A2:0710"));
  ASSERT_EQ(1u, nodes.size());
  EXPECT_EQ(0, nodes[0]->PciVendorId);
  EXPECT_EQ(0, nodes[0]->PciDeviceId);
}

TEST_F(SelectionListTest, MalformedPciIdValues) {
  EXPECT_EQ(3, StatusOf([] { PciIds(""); }));
  EXPECT_EQ(3, StatusOf([] { PciIds("19A2"); }));
  EXPECT_EQ(3, StatusOf([] { PciIds("19A2:0710,19A2:0710:1E5D"); }));
  EXPECT_EQ(55, StatusOf([] { PciIds("1:2:3:4:5"); }));
  EXPECT_EQ(55, StatusOf([] { PciIds("1:2:3:4:zz"); }));  // fifth id: not even converted
  EXPECT_EQ(55, StatusOf([] { PciIds("19A2:07G0"); }));
  EXPECT_EQ(55, StatusOf([] { PciIds("19A2:-1"); }));
  EXPECT_EQ(55, StatusOf([] { PciIds("zz"); }));  // a bad id before the count
}

TEST_F(SelectionListTest, PciIdMessagesNeedLevelTwo) {
  VerboseLevel = 2;
  testing::internal::CaptureStdout();
  EXPECT_EQ(3, StatusOf([] { PciIds("19A2:0710:1"); }));
  EXPECT_EQ(55, StatusOf([] { PciIds("1:2:x:4"); }));
  EXPECT_EQ(55, StatusOf([] { PciIds("1:2:3:4:5"); }));
  EXPECT_EQ(3, StatusOf([] { PciIds(""); }));
  EXPECT_EQ("Error: List of PCI-IDs 19A2:0710:1 is incomplete!\n"
            "Error: SubVendor-Id x is not a valid hex value!\n",
            testing::internal::GetCapturedStdout());

  VerboseLevel = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(55, StatusOf([] { PciIds("1:2:3:y"); }));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST_F(SelectionListTest, SecondPciIdValueOverwritesPositionally) {
  PciIds("19A2:0710:1E5D:11C1,19A2:0714");
  auto nodes = Nodes(PciIds("10DF:F100"));
  ASSERT_EQ(2u, nodes.size());
  EXPECT_EQ(0x10DF, nodes[0]->PciVendorId);
  EXPECT_EQ(0xF100, nodes[0]->PciDeviceId);
  EXPECT_EQ(0x1E5D, nodes[0]->PciSubVendorId);
  EXPECT_EQ(0x11C1, nodes[0]->PciSubDeviceId);
  EXPECT_EQ(0x0714, nodes[1]->PciDeviceId);
}

TEST_F(SelectionListTest, PciIdListingAtLevelSix) {
  VerboseLevel = 6;
  testing::internal::CaptureStdout();
  PciIds("19A2:0710:1E5D:11C1");
  EXPECT_EQ("\nList of input pci-ids: \"19A2:0710:1E5D:11C1\"\n"
            "\n\tVendor-Id 0x19a2\n\tDevice-Id 0x710\n"
            "\tSubVendor-Id 0x1e5d\n\tSubDevice-Id 0x11c1\n",
            testing::internal::GetCapturedStdout());

  VerboseLevel = 3;
  testing::internal::CaptureStdout();
  PciIds("1:2");
  EXPECT_EQ("\nList of input pci-ids: \"1:2\"\n", testing::internal::GetCapturedStdout());
}

TEST_F(SelectionListTest, CtrlOptionsArePositional) {
  Ctrl("19A2,10DF", kSelectVendorId);
  auto nodes = Nodes(Ctrl("0714", kSelectDeviceId));
  ASSERT_EQ(2u, nodes.size());
  EXPECT_EQ(0x19A2, nodes[0]->PciVendorId);
  EXPECT_EQ(0x0714, nodes[0]->PciDeviceId);
  EXPECT_EQ(0x10DF, nodes[1]->PciVendorId);
  EXPECT_EQ(0, nodes[1]->PciDeviceId);

  // Sub ids and names land in the same nodes; a shorter repeat of a kind
  // leaves the surplus nodes as they were.
  Ctrl("1E5D,1F", kSelectSubVendorId);
  Ctrl("11C1,22,33", kSelectSubDeviceId);
  nodes = Nodes(Ctrl("AAAA", kSelectVendorId));
  ASSERT_EQ(3u, nodes.size());
  EXPECT_EQ(0xAAAA, nodes[0]->PciVendorId);
  EXPECT_EQ(0x10DF, nodes[1]->PciVendorId);
  EXPECT_EQ(0x1F, nodes[1]->PciSubVendorId);
  EXPECT_EQ(0x33, nodes[2]->PciSubDeviceId);
  EXPECT_EQ(0, nodes[2]->PciVendorId);

  Ctrl("Emulex", kSelectVendorName);
  nodes = Nodes(Ctrl("LPe,OCe", kSelectModel));
  EXPECT_EQ("Emulex", nodes[0]->VendorName);
  EXPECT_EQ("LPe", nodes[0]->ModelString);
  EXPECT_EQ("OCe", nodes[1]->ModelString);
  EXPECT_EQ("", nodes[1]->VendorName);
}

TEST_F(SelectionListTest, CtrlListIsSeparateFromPciIdList) {
  option_input* pci = PciIds("1:2");
  option_input* ctrl = Ctrl("3", kSelectVendorId);
  EXPECT_NE(pci, ctrl);
  EXPECT_EQ(1, pci->PciVendorId);
  EXPECT_EQ(3, ctrl->PciVendorId);
}

TEST_F(SelectionListTest, CommaRunsAndEmptyValues) {
  EXPECT_EQ(nullptr, Ctrl(",,,", kSelectVendorId));
  EXPECT_EQ(nullptr, Ctrl("", kSelectModel));
  auto nodes = Nodes(Ctrl(",,19A2,,10DF,", kSelectVendorId));
  ASSERT_EQ(2u, nodes.size());
  EXPECT_EQ(0x10DF, nodes[1]->PciVendorId);
  // Once something is stored, an empty value returns the same head.
  EXPECT_EQ(nodes[0], Ctrl(",", kSelectDeviceId));
}

TEST_F(SelectionListTest, BlanksInItems) {
  auto nodes = Nodes(Ctrl(" 19A2, 10DF ", kSelectVendorId));
  EXPECT_EQ(0x19A2, nodes[0]->PciVendorId);
  EXPECT_EQ(" 19A2", nodes[0]->PciVendorIdText);
  EXPECT_EQ(0x10DF, nodes[1]->PciVendorId);
  EXPECT_EQ(" 10DF ", nodes[1]->PciVendorIdText);

  nodes = Nodes(Ctrl(" Emulex ,QLogic", kSelectVendorName));
  EXPECT_EQ(" Emulex ", nodes[0]->VendorName);
  EXPECT_EQ("QLogic", nodes[1]->VendorName);
}

TEST_F(SelectionListTest, LongItemsAreCutButIdsConvertedWhole) {
  auto nodes = Nodes(Ctrl("0000000000000019A2", kSelectVendorId));
  EXPECT_EQ(0x19A2, nodes[0]->PciVendorId);
  EXPECT_EQ("0000000", nodes[0]->PciVendorIdText);

  nodes = Nodes(Ctrl(std::string(300, 'M'), kSelectModel));
  EXPECT_EQ(std::string(19, 'M'), nodes[0]->ModelString);

  nodes = Nodes(PciIds("000000000019a2:0000000000000710"));
  EXPECT_EQ(0x19A2, nodes[0]->PciVendorId);
  EXPECT_EQ("0000000", nodes[0]->PciVendorIdText);
  EXPECT_EQ(0x710, nodes[0]->PciDeviceId);
}

TEST_F(SelectionListTest, BadCtrlIdsAndKinds) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(55, StatusOf([] { Ctrl("19A2,xyz", kSelectVendorId); }));
  EXPECT_EQ(55, StatusOf([] { Ctrl("-1", kSelectSubVendorId); }));
  EXPECT_EQ(55, StatusOf([] { Ctrl("G", kSelectDeviceId); }));
  EXPECT_EQ(55, StatusOf([] { Ctrl("1,2,3 4", kSelectSubDeviceId); }));
  EXPECT_EQ("Error: Vendor-Id xyz is not a valid hex value!\n"
            "Error: SubVendor-Id -1 is not a valid hex value!\n"
            "Error: Device-Id G is not a valid hex value!\n"
            "Error: SubDevice-Id 3 4 is not a valid hex value!\n",
            testing::internal::GetCapturedStdout());

  EXPECT_EQ(55, StatusOf([] { Ctrl("1", 6); }));
  EXPECT_EQ(55, StatusOf([] { Ctrl("1", -1); }));

  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(55, StatusOf([] { Ctrl("xyz", kSelectVendorId); }));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST_F(SelectionListTest, EchoesAtLevelThree) {
  VerboseLevel = 3;
  testing::internal::CaptureStdout();
  Ctrl("LPe11002-M4,ZR910", kSelectModel);
  Ctrl("19a2", kSelectVendorId);
  Ctrl(" Emulex", kSelectVendorName);
  Ctrl("1F", kSelectSubVendorId);
  Ctrl("714", kSelectDeviceId);
  Ctrl("0", kSelectSubDeviceId);
  EXPECT_EQ("List of input controller-model strings: LPe11002-M4,ZR910\n"
            "0. Model: LPe11002-M4\n"
            "1. Model: ZR910\n"
            "List of input vendor-ids: 19a2\n"
            "0. Vendor-Id: 0x19a2\n"
            "List of input vendor-names:  Emulex\n"
            "0. Vendor:  Emulex\n"
            "List of input sub-vendor-ids: 1F\n"
            "0. SubVendor-Id: 0x1f\n"
            "List of input device-ids: 714\n"
            "0. Device-Id: 0x714\n"
            "List of input sub-device-ids: 0\n"
            "0. SubDevice-Id: 0x0\n",
            testing::internal::GetCapturedStdout());

  VerboseLevel = 2;
  testing::internal::CaptureStdout();
  Ctrl("A,B", kSelectModel);
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

}  // namespace
