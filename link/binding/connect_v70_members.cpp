// The member table of Connect_v70: the names, parameters and defaults that
// callers by name see. One row per member; see member_table.h for the row
// format. Names and defaults are those of the typed interface.
#include "link/binding/member_table.h"

namespace tallygate::binding {

const MemberTable& Connect_v70Members() {
  static const MemberTable* table = new MemberTable{
      // Object and port.
      Get<std::string>("Ver", &Connect_v70::Ver),
      Put<std::string>("Ver", &Connect_v70::Ver),
      Get<int16_t>("Mode", &Connect_v70::Mode),
      Put<int16_t>("Mode", &Connect_v70::Mode),
      Method("SetPort", &Connect_v70::SetPort, {Arg("intCom")}),
      Method("DestoryPort", &Connect_v70::DestoryPort),
      Method("ShowAbout", &Connect_v70::ShowAbout),

      // TCP.
      Method("Connect_Net", &Connect_v70::Connect_Net, {Arg("sIP"), Arg("lPort", 1001)}),
      Method("Disconnect_Net", &Connect_v70::Disconnect_Net),
      Get<int16_t>("tcpState", &Connect_v70::tcpState),
      Get<std::string>("IP", &Connect_v70::IP),
      Put<std::string>("IP", &Connect_v70::IP),
      Get<int32_t>("tcpPort", &Connect_v70::tcpPort),
      Put<int32_t>("tcpPort", &Connect_v70::tcpPort),

      // Memory maintenance and storage mode.
      Method("RepairAddress", &Connect_v70::RepairAddress, {Arg("varAddr"), Arg("NewAddress")}),
      Method("ClearFlag", &Connect_v70::ClearFlag, {Arg("varAddr")}),
      Method("ClearRecord", &Connect_v70::ClearRecord, {Arg("varAddr")}),
      Method("ClearNameList", &Connect_v70::ClearNameList, {Arg("varAddr")}),
      Method("SetStorageModel", &Connect_v70::SetStorageModel,
             {Arg("varAddr"), Arg("intMode", 1)}),
      Method("GetStorageModel", &Connect_v70::GetStorageModel, {Arg("varAddr")}),

      // Record counts.
      Method("GatherRecordSum", &Connect_v70::GatherRecordSum,
             {Arg("varAddr"), Arg("VarRecordCount"), Arg("VarDescritption")}),
      Method("GatherSendCardSum", &Connect_v70::GatherSendCardSum,
             {Arg("varAddr"), Arg("VarRecordCount")}),

      // Collection and verification.
      Method("GatherData", &Connect_v70::GatherData,
             {Arg("varAddr"), Arg("VarFilePath"), Arg("VarFileName"), Arg("VarDescription"),
              Arg("BackRecordSum"), Arg("SleepDate", 3), Arg("phStrCardFlg", 0),
              Arg("IsFullYear", false), Arg("objProBar", nullptr)}),
      Method("GatherSendCardData", &Connect_v70::GatherSendCardData,
             {Arg("varAddr"), Arg("VarFilePath"), Arg("VarFileName"), Arg("VarDescription"),
              Arg("BackRecordSum"), Arg("SleepDate", 3), Arg("phStrCardFlg", 0)}),
      Method("CheckData", &Connect_v70::CheckData,
             {Arg("varAddr"), Arg("VarFilePath"), Arg("VarFileName"), Arg("VarDescription"),
              Arg("intDelay", 24), Arg("phStrCardFlg", 0), Arg("IsFullYear", false)}),

      // Card management.
      Method("CardSendToMachine", &Connect_v70::CardSendToMachine,
             {Arg("varAddr"), Arg("strPhyCard"), Arg("strCardID"), Arg("strName"),
              Arg("WeekFlag"), Arg("TimeSect")}),
      Method("SendRecordToMachine", &Connect_v70::SendRecordToMachine,
             {Arg("varAddr"), Arg("PhyNum"), Arg("DateTime"), Arg("FlagByte", "FF"),
              Arg("KeepByte", "99")}),
      Method("ClearName", &Connect_v70::ClearName, {Arg("varAddr"), Arg("PhyNum")}),
      Method("FindCard", &Connect_v70::FindCard, {Arg("varAddr"), Arg("PhyNum"), Arg("CardYN")}),
      Method("ReadCardNum", &Connect_v70::ReadCardNum, {Arg("varAddr"), Arg("AllStr")}),

      // System parameters.
      Method("ReadSystemParameter", &Connect_v70::ReadSystemParameter,
             {Arg("varAddr"), Arg("BackString")}),
      Method("RepairSystemParameter", &Connect_v70::RepairSystemParameter,
             {Arg("varAddr"), Arg("JDYS"), Arg("DKYS"), Arg("TZZ")}),

      // Clock and ring schedules.
      Method("ModifyDateTime", &Connect_v70::ModifyDateTime,
             {Arg("varAddr"), Arg("DDate"), Arg("TTime"), Arg("WWeek")}),
      Method("SetClock", &Connect_v70::SetClock, {Arg("varAddr"), Arg("ITime"), Arg("Sect")}),
      Method("SetClockStr", &Connect_v70::SetClockStr,
             {Arg("varAddr"), Arg("strTime"), Arg("Sect")}),

      // Display message, voice and keypad password.
      Method("SendShortMsg", &Connect_v70::SendShortMsg,
             {Arg("varAddr"), Arg("TTime"), Arg("MsgStr")}),
      Method("GetSounds", &Connect_v70::GetSounds, {Arg("varAddr"), Arg("SoundNum")}),
      Method("SetMachinePassword", &Connect_v70::SetMachinePassword,
             {Arg("varAddr"), Arg("strPassWord")}),
      Method("GetMachinePassword", &Connect_v70::GetMachinePassword, {Arg("varAddr")}),

      // Start-up picture.
      Method("SendPictureMach", &Connect_v70::SendPictureMach,
             {Arg("varAddr"), Arg("BmpFilePath")}),
  };
  return *table;
}

}  // namespace tallygate::binding
