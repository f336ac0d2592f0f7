#pragma once

#include "sim/DriveLine.h"

#include <map>
#include <string>
#include <vector>

class DriveSimulator;

// Drive addresses from "1-5", "1,3,4,20" or a mix ("1-3,7"). Addresses are
// 1..247; false with a reason for anything else. With `lines`, an entry may
// carry a line setting of its own, @BAUD[,PARITY[,MODE]] with parity N, E or
// O and mode ascii or rtu: "1,17@19200,E,rtu,20-22@9600".
bool ParseDriveList(const std::string &text, std::vector<int> &drives, std::string &error,
                    std::map<int, DriveLine> *lines = nullptr);

// One command of the simulator's control channel, changing it while it runs:
//   drop P          drop replies with probability P (0..1)
//   corrupt P       wrong LRC / CRC with probability P
//   garbage P       random bytes instead of the reply with probability P
//   split N MS      replies in N pieces with MS between them (N < 2: whole)
//   late MS         every reply MS later
//   stray N         N random bytes after every reply
//   latency MS      the drives' processing time
//   fault A CODE    trip drive A with fault CODE (4..25)
//   clamp A:CODE V  drive A takes writes of CODE above V but holds V
//   mute A:CODE     drive A answers no request for CODE
//   reset           clear the fault of every drive
//   off             no more line faults (drop, corrupt, garbage, split, late, stray)
// Returns false with a reason for a command it does not know or bad numbers.
bool ApplySimCommand(DriveSimulator &sim, const std::string &line, std::string &error);
