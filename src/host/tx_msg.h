// Binary output: bytes and their count, passed by pointer and not owned.
#pragma once

struct TX_MSG {
  const char* m_pData = nullptr;
  int m_nLength = 0;
};
