// The host's configured tasks. The module reads from a task's data only the
// items it needs: texts to send on serial lines, the sonar entries and their
// platform flags, the UDP send flags, and the sonar window's target inputs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "host/geometry.h"
#include "host/list_ptr.h"

struct CSonarEntry {
  std::uint16_t m_id = 0;
  std::uint16_t m_typeCode = 0;
};

// What a sonar window takes from target and ping messages.
struct CSonarTarget {
  CV3 m_position;
  int m_positionFlag = 0;
  double m_depth = 0.0;
  std::array<std::uint8_t, 3> m_pingControl{};
  int m_applied = 0;  // how often the window was asked to apply them
};

struct CTaskData {
  std::string m_typeName;  // type name of the task's window, e.g. "Zephra"

  // Serial output: the two output flag bytes and the texts to send. The text
  // lists are filled by other host threads, so they are guarded.
  std::array<std::uint8_t, 2> m_outputFlags{};
  std::mutex m_textLock;
  std::string m_singleText;
  std::list<std::string> m_targetTexts;
  std::list<std::string> m_jsonPayloads;

  // Sonar entries and the platform flags word with the word that locks it.
  unsigned m_sonarCount = 0;
  std::array<CSonarEntry, 4> m_sonars{};
  std::uint32_t m_platformFlags = 0;
  std::uint32_t m_platformLock = 0;

  // UDP send flags shown by the UDP controller's check boxes.
  int m_sendTargetData = 0;
  int m_sendStatusMessages = 0;

  CSonarTarget m_target;
  // Called when the sonar window is asked to apply a new target (may be empty).
  std::function<void(const CSonarTarget&)> m_onApplyTarget;
};

class CTskInf {
 public:
  CTskInf(std::string name, std::unique_ptr<CTaskData> data) : m_name(std::move(name)), m_pData(std::move(data)) {}
  const std::string& GetName() const { return m_name; }
  CTaskData* GetData() const { return m_pData.get(); }

 private:
  std::string m_name;
  std::unique_ptr<CTaskData> m_pData;
};

class CTask {
 public:
  // The named task, or null.
  static CTskInf* GetTask(const std::string& name);
  static CList_Ptr<CTskInf*> s_tasks;

  // Host side: create a task (replacing one of the same name) and remove all.
  static CTskInf* AddTask(const std::string& name, const std::string& typeName);
  static void RemoveAll();

  // Sonar type codes: the 310XR model carries two serial ports; the Mk2
  // platform reports in its own platform flag bit.
  static bool Is310XR(std::uint16_t code);
  static bool IsMk2Platform(std::uint16_t code);
};
