#include <atomic>
#include <memory>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "Conversions.h"
#include "ScriptedPeer.h"
#include "StationTestSupport.h"

using halvex::TArrayByte;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

class SerialLine : public StationSandbox {
  protected:
    // The station answers every order with `reply`, whatever it is.
    void Serve(TArrayByte reply) {
        peer_ = std::make_unique<ScriptedPeer>([reply](const TArrayByte&) { return reply; });
        com_.OpenDevice(peer_->DevicePath(), false);
    }
    void Serve(ScriptedPeer::Script script) {
        peer_ = std::make_unique<ScriptedPeer>(std::move(script));
        com_.OpenDevice(peer_->DevicePath(), false);
    }
    TArrayByte Exchange(const TArrayByte& order, bool quick = false) {
        TArrayByte answer;
        if (quick)
            com_.SendOrder_ReceiveFeedBackQuick(order, answer);
        else
            com_.SendOrder_ReceiveFeedBack(order, answer);
        return answer;
    }
    std::string Path() const { return peer_->DevicePath(); }

    std::unique_ptr<ScriptedPeer> peer_;
    TComObjRs232 com_;
};

} // namespace

TEST(Protocol, FramesAndChecksum) {
    EXPECT_EQ(halvex::BuildOrderFrame({0x1A}), (TArrayByte{0x1D, 0x02, 0x1A, 0x39}));
    EXPECT_EQ(halvex::BuildAnswerFrame({0x01, 0x0B}), (TArrayByte{0x1F, 0x03, 0x01, 0x0B, 0x2E}));
    EXPECT_EQ(halvex::ReadRecordOrder(7710), (TArrayByte{0x31, 0x01, 0xFF, 0xED}));
    EXPECT_EQ(halvex::ReadRecordOrder(1), (TArrayByte{0x31, 0x00, 0x00, 0x00}));
}

TEST_F(SerialLine, ExchangeReturnsThePayload) {
    Serve([](const TArrayByte& order) {
        if (order == TArrayByte{0x1A}) return Answer({0x01, 0x0B});
        return Answer({}); // L = 1: an empty payload
    });
    EXPECT_EQ(Exchange({0x1A}), (TArrayByte{0x01, 0x0B}));
    EXPECT_TRUE(Exchange({0x34}).empty());
    EXPECT_EQ(peer_->Orders(), (std::vector<TArrayByte>{{0x1A}, {0x34}}));
    // The longest answer that fits: L = 22, a 21-byte payload.
    TArrayByte longest(21, 0x55);
    Serve(Answer(longest));
    EXPECT_EQ(Exchange({0x1A}), longest);
}

// Every fault of the line with its text; the port is quoted by its path.
TEST_F(SerialLine, EachFaultHasItsText) {
    TArrayByte wrongStart = Answer({0x01, 0x0B});
    wrongStart[0] = 0x1E;
    wrongStart.back() = halvex::FrameChecksum(wrongStart.data(), wrongStart.size() - 1);
    TArrayByte badSum = Answer({0x01, 0x0B});
    ++badSum.back();
    TArrayByte tooLong = {0x1F, 40};
    tooLong.resize(42, 0x00);

    struct TCase {
        const char* what;
        TArrayByte reply;
        bool quick;
        std::string text; // "%s" stands for the port
    };
    const std::vector<TCase> cases = {
        {"silence", {}, false, "Erreur de lecture port %s (Entete)  lus=0 (octets), attendus=2! (octets) !"},
        {"one byte",
         {0x1F},
         false,
         "Erreur de lecture port %s (Entete)  lus=1 (octets), attendus=2! (octets) !"},
        {"short body",
         {0x1F, 0x05, 0x01, 0x02},
         false,
         "Erreur de lecture port %s (Données) lus=2 (octets), attendus=5! (octets) !"},
        {"checksum", badSum, false, "Erreur de checksum !!"},
        {"length 0", {0x1F, 0x00}, false, "Erreur de checksum !!"},
        {"start byte", wrongStart, false, "Pas de réponse du système distant (%s)"},
        {"length above 22", tooLong, false,
         "Erreur de lecture port %s (Entete) longueur annoncée=40 (octets), maximum=22 (octets) !"},
        {"quick checksum", badSum, true, "Error -> Back order checksum failed !!"},
        {"quick start byte", wrongStart, true, "Error -> Back order failed !!"},
    };
    for (const auto& c : cases) {
        Serve(c.reply);
        std::string expected = c.text;
        if (const auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, Path());
        EXPECT_EQ(ErrorOf([&] { Exchange({0x1A}, c.quick); }), expected) << c.what;
        com_.CloseCom();
    }
}

// A frame with a wrong start byte is read to its announced end before it is refused: nothing of
// it is left to spoil the next exchange.
TEST_F(SerialLine, WrongStartByteFrameIsReadWhole) {
    // The peer's thread may still count a call while the test ends.
    auto calls = std::make_shared<std::atomic<int>>(0);
    Serve([calls](const TArrayByte&) {
        TArrayByte frame = Answer({0x07, 0x08, 0x09});
        if ((*calls)++ == 0) {
            frame[0] = 0x1E;
            frame.back() = halvex::FrameChecksum(frame.data(), frame.size() - 1);
        }
        return frame;
    });
    EXPECT_NE(ErrorOf([&] { Exchange({0x1A}); }), "no failure");
    EXPECT_EQ(Exchange({0x1A}), (TArrayByte{0x07, 0x08, 0x09}));
    EXPECT_FALSE(LogHasLine("Discarded 0 stale byte(s) before order 0x1A"));
}

// A late answer to a failed order must not be taken for the answer to the next one.
TEST_F(SerialLine, LateAnswerIsDiscardedBeforeTheNextOrder) {
    Serve([](const TArrayByte& order) {
        if (order[0] == 0x1A) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250)); // beyond the 150-ms time-out
            return Answer({0xAA, 0xAA});
        }
        return Answer({0x1B, 0x1B, 0x1B});
    });
    EXPECT_NE(ErrorOf([&] { Exchange({0x1A}); }), "no failure");
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the late answer has arrived
    EXPECT_EQ(Exchange({0x1B}), (TArrayByte{0x1B, 0x1B, 0x1B}));
    EXPECT_TRUE(LogHasLine("Discarded 5 stale byte(s) before order 0x1B"));
}

// The bytes of a refused over-long frame are dropped too; nothing lands beyond the answer buffer.
TEST_F(SerialLine, OverLongFrameLeavesTheLineUsable) {
    int calls = 0;
    Serve([&calls](const TArrayByte&) {
        if (calls++ == 0) {
            TArrayByte frame = {0x1F, 200};
            frame.resize(202, 0x1F);
            return frame;
        }
        return Answer({0x42});
    });
    TArrayByte answer;
    EXPECT_NE(ErrorOf([&] { com_.SendOrder_ReceiveFeedBack({0x1A}, answer); }), "no failure");
    EXPECT_LE(answer.size(), halvex::AnswerBufferSize);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Exchange({0x1A}), (TArrayByte{0x42}));
}

TEST_F(SerialLine, ClosedPortFailsAtTheWrite) {
    Serve(Answer({}));
    com_.CloseCom();
    EXPECT_TRUE(LogHasLine("COM Closed"));
    EXPECT_EQ(ErrorOf([&] { Exchange({0x34}); }), "Erreur d'écriture sur " + Path() + " [0,4] !");
    EXPECT_EQ(ErrorOf([&] { Exchange({0x34}, true); }), "WriteBuffer Error 0 , 4!");
    TComObjRs232 never;
    EXPECT_EQ(ErrorOf([&] {
                  TArrayByte a;
                  never.SendOrder_ReceiveFeedBack({0x34, 1}, a);
              }),
              "Erreur d'écriture sur COM0 [0,5] !");
}

// Only a port that has gone is reported as lost (the caller then reopens it); a silent station or a
// bad answer is an ordinary failure of the exchange.
TEST_F(SerialLine, AHungUpPortIsToldApartFromAFailedExchange) {
    const auto lost = [&](bool quick) {
        try {
            Exchange({0x1A}, quick);
        } catch (const EComPortLost&) {
            return "lost";
        } catch (const EOrvanelError&) {
            return "failed";
        }
        return "answered";
    };
    Serve(TArrayByte{}); // a station that never answers
    EXPECT_STREQ(lost(false), "failed") << "silence";
    EXPECT_STREQ(lost(true), "failed") << "silence";
    peer_.reset(); // the far end closes its side of the pseudo-terminal
    EXPECT_STREQ(lost(false), "lost");
    EXPECT_STREQ(lost(true), "lost");
}

TEST_F(SerialLine, OrderAbove254BytesIsRefusedBeforeSending) {
    Serve(Answer({}));
    EXPECT_EQ(ErrorOf([&] { Exchange(TArrayByte(255, 0x31)); }), RangeErrorText);
    EXPECT_NO_THROW(Exchange(TArrayByte(254, 0x31)));
    EXPECT_EQ(peer_->Orders().size(), 1u);
}

TEST_F(SerialLine, PortNamesAndOpenFailures) {
    EXPECT_EQ(TComObjRs232::DeviceNameOf(1), "/dev/ttyS0");
    EXPECT_EQ(TComObjRs232::DeviceNameOf(9), "/dev/ttyS8");
    EXPECT_EQ(TComObjRs232::DeviceNameOf(10), "/dev/ttyS9");

    TComObjRs232 com;
    EXPECT_EQ(ErrorOf([&] { com.OpenCom(256, false); }), RangeErrorText);
    EXPECT_TRUE(LogTexts().empty()) << "refused before any log line";

    EXPECT_EQ(ErrorOf([&] { com.OpenCom(250, false); }), "Ne peut ouvrir le port COM250 !");
    EXPECT_EQ(com.HCom, -1);
    EXPECT_TRUE(LogHasLine("Try to open COM : /dev/ttyS249"));
    EXPECT_TRUE(LogHasLine("Failed to open COM : /dev/ttyS249"));

    EXPECT_EQ(ErrorOf([&] { com.OpenConfigured(3, Root() + "no-such-port", false); }),
              "Ne peut ouvrir le port " + Root() + "no-such-port !");

    ScriptedPeer peer([](const TArrayByte&) { return Answer({}); });
    com.OpenConfigured(3, peer.DevicePath(), true);
    EXPECT_TRUE(LogHasLine("Succes opening open COM : " + peer.DevicePath()));
    EXPECT_EQ(com.PortText(), peer.DevicePath());
}
