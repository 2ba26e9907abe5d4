// Base classes of every wire format: a decoder turns framed messages (or single
// bytes, in Binary mode) into host records; an encoder marks a port as an
// output and holds the texts waiting for the line.
#pragma once

#include <list>
#include <mutex>
#include <string>

#include "host/runtime_class.h"

class CESetObj;
class CPort;

// DecodeMsg results: not for this decoder, malformed, complete (primary part);
// k >= 2 is part k of a multi-part reading.
inline constexpr int kDecodeForeign = -1;
inline constexpr int kDecodeBad = 0;
inline constexpr int kDecodeOk = 1;

class CDecode : public CObject {
  NYX_DECLARE_DYNCREATE(CDecode)
 public:
  std::string m_name;         // the format's own name, tested by the controllers
  std::string m_description;  // hint of the decoded quantities
  std::string m_third;
  int m_expectedParts = 1;  // bit k-1 for each part k of a complete cycle
  int m_receivedParts = 1;  // parts seen since the last cycle; managed by the port
  int m_typeIndex = 0;      // registry index this object was made for
  CPort* m_pPort = nullptr;  // owning port, set right after creation

  // The plain decoder rejects every message.
  virtual int DecodeMsg(double time, std::string& msg, int bank);
  // Binary mode: 1 when msg and msgTime now hold a complete message.
  virtual int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime);
  virtual void Settings(CESetObj& obj);
  virtual void Update();
  virtual void Enable(int on);
  virtual void OnTrigger(double now, double dt);
};

class CEncode : public CObject {
  NYX_DECLARE_DYNCREATE(CEncode)
 public:
  ~CEncode() override;

  std::string m_name;  // the controller picks the texts to send by it
  std::string m_description;
  std::string m_third;
  int m_expectedParts = 1;
  int m_receivedParts = 1;
  int m_typeIndex = 0;

  // Guards the outgoing list between the trigger thread and the line's writer.
  std::timed_mutex m_lock;
  std::list<std::string> m_outgoing;
  std::list<std::string> m_second;

  // The three encode operations share one argument list: two words, the output
  // bytes, the queue of byte strings to take from, and a further word.
  virtual int EncodeA(int w1, int w2, std::string& out, std::list<std::string>* queue, int w5);
  virtual int EncodeB(int w1, int w2, std::string& out, std::list<std::string>* queue, int w5);
  virtual int EncodeC(int w1, int w2, std::string& out, std::list<std::string>* queue, int w5);
  virtual void Settings(CESetObj& obj);
  virtual void Update();
  virtual void Enable(int on);
};
