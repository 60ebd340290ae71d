#pragma once

// Text forms of the port's settings, as stored and as the setup dialog shows them.
// Parse functions ignore letter case and fall back to a fixed value for unknown text.

#include "comport.h"

#include <string>

std::string BaudRateText(TBaudRate v);
std::string StopBitsText(TStopBits v);
std::string DataBitsText(TDataBits v);
std::string ParityText(TParityBits v);
std::string FlowControlText(TFlowControl v);
std::string DTRText(TDTRFlowControl v);
std::string RTSText(TRTSFlowControl v);
std::string YesNoText(bool v);
// Codes 33..127 as the character itself, any other as "#" and the decimal code.
std::string CharText(char v);

TBaudRate ParseBaudRate(const std::string& text);         // unknown: br9600
TStopBits ParseStopBits(const std::string& text);         // unknown: sbOneStopBit
TDataBits ParseDataBits(const std::string& text);         // unknown: dbEight
TParityBits ParseParity(const std::string& text);         // unknown: prNone
TFlowControl ParseFlowControl(const std::string& text);   // unknown: fcCustom
TDTRFlowControl ParseDTR(const std::string& text);        // unknown: dtrDisable
TRTSFlowControl ParseRTS(const std::string& text);        // unknown: rtsDisable
bool ParseYesNo(const std::string& text);                 // true only for "yes"
char ParseChar(const std::string& text);

// Where a stored-settings location points to: root ("HKEY_LOCAL_MACHINE" or
// "HKEY_CURRENT_USER") and key path below it. opened is false when the location
// designates no key (no backslash, or an empty part in the path).
struct TSettingsKey {
  bool opened = false;
  std::string root;
  std::string path;
};
TSettingsKey OpenSettingsKey(const std::string& Location, const std::string& Name);

// The file that holds a root's keys: <config>/dedizivi/<root>.reg, <config> being
// $XDG_CONFIG_HOME or ~/.config.
std::string SettingsStorePath(const std::string& root);
