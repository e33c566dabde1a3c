// The interface's reserved slots (every slot from 3 to 59 that is not one of the eight
// operations the tool calls), once for every implementation of the interface:
// DATABASE_SERVER_RESERVED_SLOTS(X) expands X(03) X(04) ... with each slot's number.
#pragma once

#define DATABASE_SERVER_RESERVED_SLOTS(X) \
    X(03) X(04) X(05) X(06) X(07) X(08) X(09) X(11) \
    X(12) X(13) X(14) X(15) X(16) X(17) X(18) X(19) \
    X(20) X(21) X(22) X(23) X(24) X(26) X(27) X(28) \
    X(29) X(30) X(31) X(32) X(33) X(34) X(35) X(36) \
    X(38) X(39) X(40) X(42) X(43) X(44) X(45) X(48) \
    X(49) X(50) X(51) X(52) X(53) X(54) X(55) X(57) \
    X(58)
