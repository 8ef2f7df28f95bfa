// The text forms of units, targets and faults as vrx-sim takes them:
//   unit:   address=1,type=6,fw=3.010,slots=4,slotsize=256,baud=115200[,serial=0][,noconfig=1]
//           [,reload=MS|never][,reloadfw=3.011]
//   target: address=A,port=P,present=0|1,program=4:1:2,verify=2,read=6:7,result=18,step=300,
//           memory=FILE | memsize=N
//   image:  address=A,slot=N,name=TEXT,device=CODE,family=F,size=BYTES,voltage=3.3,mode=M,
//           freq=KHZ,count=N,protect=0|1,eename=TEXT
//   fault:  kind=drop|corrupt|delay|noise|trailing|endless|wrongaddr|wrongid|status,
//           every=N,after=N,count=N,command=0xNN,ms=N,code=N
#pragma once

#include <cstddef>
#include <string>

#include "sim/Config.h"

namespace vrxsim {

// Starts from a default UnitConfig; unknown keys and bad values are errors.
bool ParseUnitSpec(const std::string& text, UnitConfig& out, std::string& error);
// Changes the target of every unit whose address is `address` (the only
// unit when the address is left out); the port is 1..4.
bool ParseTargetSpec(const std::string& text, UnitConfig* units, size_t unitCount, std::string& error);
// Adds a stored image to the unit at `address` (the only unit when left out).
bool ParseImageSpec(const std::string& text, UnitConfig* units, size_t unitCount, std::string& error);
bool ParseFaultSpec(const std::string& text, FaultConfig& out, std::string& error);

}  // namespace vrxsim
