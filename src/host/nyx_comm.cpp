#include "host/nyx_comm.h"

NYX_IMPLEMENT_DYNAMIC(CNyxComm, CNyxWnd)
