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
#ifndef TALLYGATE_LINK_INCLUDE_TALLYGATE_CONNECT_V70_H_
#define TALLYGATE_LINK_INCLUDE_TALLYGATE_CONNECT_V70_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

  // Connects to a terminal; true when connected within 2 seconds. `sIP` is a
  // numeric IPv4 address (digits and points only) or an IPv6 literal
  // ("::1", without brackets).
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

  // ---- Card management -------------------------------------------------------
  // Card numbers as decimal text ("300", "-1") travel as the four bytes of
  // their signed 32-bit value; staff numbers, record card numbers, dates and
  // flag bytes are hexadecimal pairs, so decimal digits travel as BCD.

  // Enrols a card: card number (decimal text), staff number (up to 8
  // digits), name (at most 8 bytes in the terminal's code page). `WeekFlag`
  // and `TimeSect` are accepted and not sent.
  bool CardSendToMachine(int16_t varAddr, const std::string& strPhyCard,
                         const std::string& strCardID, const std::string& strName,
                         int16_t WeekFlag, const std::string& TimeSect);
  // Writes one attendance record: card number (8 hexadecimal digits), date
  // and time ("YYMMDDhhmmss"), flag and keep byte (hexadecimal).
  bool SendRecordToMachine(int16_t varAddr, const std::string& PhyNum, const std::string& DateTime,
                           const std::string& FlagByte = "FF", const std::string& KeepByte = "99");
  // Removes a card (decimal text) from the terminal's list.
  bool ClearName(int16_t varAddr, const std::string& PhyNum);
  // True when the terminal answered; `CardYN` says whether the card is on its
  // list.
  bool FindCard(int16_t varAddr, const std::string& PhyNum, bool& CardYN);
  // The number of the card last presented to the terminal's reader, as
  // decimal text (empty on failure); `AllStr` receives the whole reply in
  // hexadecimal.
  std::string ReadCardNum(int16_t varAddr, std::string& AllStr);

  // ---- System parameters -----------------------------------------------------

  // The terminal's parameter reply as 34 hexadecimal digits.
  bool ReadSystemParameter(int16_t varAddr, std::string& BackString);
  // Writes relay delay (`JDYS`, two decimal pieces), punch interval (`DKYS`,
  // four hexadecimal digits) and mode word (`TZZ`, four hexadecimal digits).
  bool RepairSystemParameter(int16_t varAddr, const std::string& JDYS, const std::string& DKYS,
                             const std::string& TZZ);

  // ---- Clock and ring schedules ----------------------------------------------

  // Sets the clock: `DDate` "YYMMDD", `TTime` "hhmmss", `WWeek` the day of
  // the week. A bad value shows a message box (title "ModifyDateTime").
  bool ModifyDateTime(int16_t varAddr, const std::string& DDate, const std::string& TTime,
                      uint8_t WWeek);
  // Loads ring schedule `Sect` (1, 2 or 3) with up to ten times of day. Each
  // element is a date value (days since 1899-12-30, the fraction the time of
  // day); only its hour and minute are used.
  bool SetClock(int16_t varAddr, std::vector<double>& ITime, const std::string& Sect);
  // The same from a text of four digits (hhmm) per ring time.
  bool SetClockStr(int16_t varAddr, const std::string& strTime, const std::string& Sect);

  // ---- Display message, voice and keypad password ----------------------------

  // Shows `MsgStr` (at most 32 bytes in the terminal's code page) for
  // `TTime`. Serial bus only.
  bool SendShortMsg(int16_t varAddr, int16_t TTime, const std::string& MsgStr);
  // Plays voice prompt `SoundNum`. Serial bus only.
  bool GetSounds(int16_t varAddr, int16_t SoundNum);
  // Sets the four-digit keypad password.
  bool SetMachinePassword(int16_t varAddr, const std::string& strPassWord);
  // The keypad password as a number, 0 without an answer, -1 on a failure.
  int16_t GetMachinePassword(int16_t varAddr);

  // ---- Start-up picture --------------------------------------------------------

  // Sends the 512-byte start-up picture from a file of 32 hexadecimal lines
  // to terminal `varAddr` (decimal text). Serial bus only. A file that cannot
  // be read, a file of fewer than 32 lines or an address text that is not a
  // number from 0 to 255 throws BasicError to the caller.
  bool SendPictureMach(const std::string& varAddr, const std::string& BmpFilePath);

  // The object's internals, shared with the command families.
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_INCLUDE_TALLYGATE_CONNECT_V70_H_
