#include "formats/target_encoders.h"

NYX_IMPLEMENT_DYNCREATE(CEncodeTargetDataFromHalde, CEncode)
NYX_IMPLEMENT_DYNCREATE(CEncodeTargetData1, CEncode)

namespace {

// The caller holds whatever lock guards the queue (the encoder's own lock when
// it passes its outgoing list). Always 0: the result tells nothing.
int TakeLine(std::string& out, std::list<std::string>* queue) {
  if (!queue || queue->empty()) return 0;
  const std::string line = std::move(queue->front());
  queue->pop_front();
  // Queued texts are whole lines; one without a line feed goes out whole.
  const std::size_t end = line.find('\n');
  out.assign(line, 0, end == std::string::npos ? line.size() : end + 1);
  return 0;
}

}  // namespace

CEncodeTargetDataFromHalde::CEncodeTargetDataFromHalde() { m_name = "VKRTAR"; }

int CEncodeTargetDataFromHalde::EncodeB(int, int, std::string& out, std::list<std::string>* queue, int) {
  return TakeLine(out, queue);
}

CEncodeTargetData1::CEncodeTargetData1() { m_name = "VKRTR1"; }

int CEncodeTargetData1::EncodeB(int, int, std::string& out, std::list<std::string>* queue, int) {
  return TakeLine(out, queue);
}
