#include "app/InstanceMutex.h"

CInstanceMutex::CInstanceMutex(const char* name) : m_dwLastError(0), m_hMutex(CreateMutexA(nullptr, FALSE, name))
{
    m_dwLastError = GetLastError();
}

CInstanceMutex::~CInstanceMutex()
{
    m_hMutex.reset();
}
