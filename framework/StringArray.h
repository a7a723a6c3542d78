// CStringArray: an ordered, growable array of texts.
#pragma once
#include "framework/Array.h"
#include "framework/String.h"

class CStringArray : public CArray<CString, const CString&> {
};
