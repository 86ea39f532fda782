// The serial line to the station: one order frame out, one answer frame in, per exchange.
#pragma once

#include <cstdint>
#include <string>

#include "Protocol.h"
#include "UserText.h"

using halvex::TArrayByte;

// An exchange that failed because the port itself has gone (device removed, line hung up): the
// message is the exchange's usual one; the type tells the caller that only reopening can help.
class EComPortLost : public EOrvanelError {
  public:
    using EOrvanelError::EOrvanelError;
};

// Total time-outs of one read call, one write call, and the settling pause after opening a
// Bluetooth port. Tests shorten them; the program keeps the defaults.
struct TComTimeouts {
    int ReadTotalMs = 1000;
    int WriteTotalMs = 50;
    int WriteTotalBlueToothMs = 500;
    int BlueToothSettleMs = 1000;
};

class TComObjRs232 {
  public:
    TComObjRs232() = default;
    ~TComObjRs232();
    TComObjRs232(const TComObjRs232&) = delete;
    TComObjRs232& operator=(const TComObjRs232&) = delete;

    // Opens COM n, the device /dev/ttyS(n - 1). A number above 255 is a range error.
    void OpenCom(uint32_t NumCom, bool OverBlueTooth);
    // Opens any serial device by path (USB adapter, rfcomm, pseudo-terminal); messages quote the path.
    void OpenDevice(const std::string& path, bool OverBlueTooth);
    // PortDevice when set, otherwise PortCOM.
    void OpenConfigured(uint32_t portCom, const std::string& portDevice, bool OverBlueTooth);
    void CloseCom();
    bool IsOpen() const { return HCom > 0; }

    // Sends the order (code and parameters) and returns the answer's payload.
    void SendOrder_ReceiveFeedBack(const TArrayByte& InOrder, TArrayByte& OutFeedBack);
    // The same exchange with the memory download's own messages.
    void SendOrder_ReceiveFeedBackQuick(const TArrayByte& InOrder, TArrayByte& OutFeedBack);

    // "COM3", or the device path when the port was named by path.
    std::string PortText() const;
    // The translated pattern with its "COM%d" replaced by the port ("COM3" or the path), ready for
    // the pattern's remaining arguments.
    std::string PortPattern(const char* sourceText) const;

    static std::string DeviceNameOf(uint32_t NumCom);

    // Tests only: shorter time-outs so that failing exchanges do not cost seconds.
    static void SetTimeoutsForTests(const TComTimeouts& timeouts);
    static TComTimeouts Timeouts();

    // 0 before the first open; -1 after a failed open; the descriptor while open.
    int HCom = 0;
    int32_t ComNum = 0;

  private:
    void OpenNamed(const std::string& device, bool OverBlueTooth);
    void Exchange(const TArrayByte& InOrder, TArrayByte& OutFeedBack, bool quick);
    void DiscardStaleInput(uint8_t orderCode);
    void WriteBuffer(const TArrayByte& frame);
    void QuickWriteBuffer(const TArrayByte& frame);
    size_t WriteFrame(const TArrayByte& frame);
    size_t ReadBuffer(TArrayByte& buffer);
    size_t ReadCount(uint8_t* into, size_t count);
    // Notes a hang-up or an error that only a removed device gives; Fail then throws EComPortLost.
    void NoteReadWriteError(int error);
    [[noreturn]] void Fail(const std::string& message) const;

    std::string devicePath_; // empty: named by number
    bool overBlueTooth_ = false;
    bool hungUp_ = false; // during one exchange, on the thread that runs it
};
