// RefDataViewerEx: the queries a caller needs beyond RefDataViewer, appended
// after its last slot so that a caller built against RefDataViewer keeps
// working. Reached through RefData::getViewerEx; the object is the handle's
// query object. It has no operation of its own yet.
#pragma once

#include "RefDataViewer.h"

class RefDataViewerEx : public RefDataViewer {};
