// The shared library TALLYGATE_V70: the link library with only its public
// interface exported (see tallygate/export.h). Entry points of its own are
// defined here.
#include "tallygate/connect_v70.h"
#include "tallygate/host_services.h"
