// Expansions of the case lists X(name) that declare the name enumerations.
#pragma once

#define MQ_AX_ENUMERATOR(name) name,
#define MQ_AX_IDENTIFIER(name) #name,
#define MQ_AX_COUNT(name) +1
