// Connect_v70: one object talks to the attendance terminals on one serial
// bus or one TCP connection.
//
// Members bear the names of the component's interface exactly, parameters
// included, so that this typed interface and the call-by-name interface read
// alike. Every method returns its outcome: a failure inside it (no answer, a
// bad reply, an address outside 0 to 255, a transport error) is its failure
// result (false, -1, 0 or empty text, as each member says), never an
// exception. The exceptions to that rule say so.
//
// Objects of one thread share that thread's serial port, TCP connection and
// line settings. All calls of an object come from the thread that made it.
// While one call waits for a terminal, the host's events run; a call made
// from such an event fails at once and sends nothing.
#ifndef TALLYGATE_CONNECT_V70_H_
#define TALLYGATE_CONNECT_V70_H_

#include <cstdint>
#include <memory>
#include <string>

#include "tallygate/basic_error.h"
#include "tallygate/progress_object.h"

namespace tallygate {

class TALLYGATE_EXPORT Connect_v70 {
 public:
  // Detects the system's locale class (loading "rm.txt" on Traditional
  // Chinese systems), closes the thread's serial port and applies
  // TallySystem.ini, writing a default one when there is none. Failures show
  // a message box and leave the object usable. Throws BasicError
  // ("Subscript out of range") only for an "rm.txt" of more than 22936 lines.
  Connect_v70();
  // Closes the thread's serial port; the TCP connection stays.
  ~Connect_v70();
  Connect_v70(const Connect_v70&) = delete;
  Connect_v70& operator=(const Connect_v70&) = delete;

  // ---- Object and port --------------------------------------------------

  // Version text: "V7.4.2" and a note in brackets.
  std::string Ver() const;
  void Ver(const std::string& value);

  // Transport: 0 serial bus, 1 TCP. Other values change nothing.
  int16_t Mode() const;
  void Mode(int16_t value);

  // Serial mode: opens COM port `intCom` (1 to 16) and records it as line 5
  // of TallySystem.ini. TCP mode: connects to IP and tcpPort.
  bool SetPort(int16_t intCom);
  // Serial mode: closes the port. TCP mode: Disconnect_Net.
  bool DestoryPort();
  // Shows the about box through the host.
  void ShowAbout();

  // ---- TCP ---------------------------------------------------------------

  // Connects to a terminal; true when connected within 2 seconds. `sIP` may
  // hold only digits and points.
  bool Connect_Net(const std::string& sIP, int32_t lPort = 1001);
  // Closes the connection; true when closed within 2 seconds.
  bool Disconnect_Net();
  // The connection state: 0 closed, 6 connecting, 7 connected, 8 closed by
  // the terminal, 9 error.
  int16_t tcpState();
  std::string IP() const;
  void IP(const std::string& value);
  int32_t tcpPort() const;
  void tcpPort(int32_t value);

  // ---- Memory maintenance and storage mode -------------------------------

  // Gives terminal `varAddr` the address `NewAddress`.
  bool RepairAddress(int16_t varAddr, int16_t NewAddress);
  bool ClearFlag(int16_t varAddr);
  // Erases the terminal's attendance records.
  bool ClearRecord(int16_t varAddr);
  // Erases the terminal's card list.
  bool ClearNameList(int16_t varAddr);
  // Sets storage mode 1 or 2; true when the command was sent (the terminal's
  // answer to it is not defined, so none is awaited).
  bool SetStorageModel(int16_t varAddr, int16_t intMode = 1);
  // The storage mode byte, or -1 without a valid answer.
  int16_t GetStorageModel(int16_t varAddr);

  // ---- Record counts ------------------------------------------------------

  // The number of attendance records. On failure the count is 0, and
  // `VarDescritption` says why when the reply was wrong rather than missing.
  bool GatherRecordSum(int16_t varAddr, int32_t& VarRecordCount, std::string& VarDescritption);
  // The number of entries in the card list.
  bool GatherSendCardSum(int16_t varAddr, int32_t& VarRecordCount);

  // ---- Collection and verification -----------------------------------------

  // Collects every attendance record of the terminal into the file
  // VarFilePath/VarFileName (created or truncated, one line per record, CR LF
  // line ends), 256 records a page, each page tried up to 5 times.
  // `VarDescription` is empty when every record was collected and
  // "Net Err,Part data lose" when the file lacks any record; `BackRecordSum`
  // is the number of lines written. `SleepDate`: seconds to wait for each
  // record; `phStrCardFlg` non-zero writes card numbers in decimal;
  // `IsFullYear` writes four-digit years; `objProBar` receives "Max", "Min"
  // and "Value". A folder that does not exist gives false with
  // "File path no exist!"; a path that cannot be looked up at all (a NUL in
  // it) throws BasicError to the caller.
  bool GatherData(int16_t varAddr, const std::string& VarFilePath, const std::string& VarFileName,
                  std::string& VarDescription, int32_t& BackRecordSum, int32_t SleepDate = 3,
                  int32_t phStrCardFlg = 0, bool IsFullYear = false,
                  ProgressObject* objProBar = nullptr);

  // Collects the terminal's card list the same way (3 attempts a page, no
  // progress), one line per card: card number, staff number, name (UTF-8).
  bool GatherSendCardData(int16_t varAddr, const std::string& VarFilePath,
                          const std::string& VarFileName, std::string& VarDescription,
                          int32_t& BackRecordSum, int32_t SleepDate = 3,
                          int32_t phStrCardFlg = 0);

  // Checks a collected record file against the terminal's count and for
  // garbled lines, order and age: 0 passed, -1 count or file not available,
  // 1 too few lines, 2 garbled line, 3 newest record older than `intDelay`
  // hours, 4 out of order. `VarDescription` names the first fault (Chinese
  // text). Read `phStrCardFlg` and `IsFullYear` as the collection was made.
  int16_t CheckData(int16_t varAddr, const std::string& VarFilePath,
                    const std::string& VarFileName, std::string& VarDescription,
                    int16_t intDelay = 24, int32_t phStrCardFlg = 0, bool IsFullYear = false);

  // The object's internals, shared with the command families.
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tallygate

#endif  // TALLYGATE_CONNECT_V70_H_
