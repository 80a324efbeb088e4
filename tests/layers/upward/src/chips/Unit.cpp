// A unit that reaches up for the session: the layering check must refuse it.
#include "operations/Session.h"
