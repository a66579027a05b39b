# Machine link: queues, stash, serial device, receive thread, protocol, XMODEM.
target_sources(grittor_core PRIVATE
  src/link/TStash.cpp
  src/link/TCharQueue.cpp
  src/link/LinkThreads.cpp
  src/link/SerialDevice.cpp
  src/link/SerialDeviceList.cpp
  src/link/TermiosDevice.cpp
  src/link/PortPermission.cpp
  src/link/TSerial.cpp
  src/link/TSerialProtocol.cpp
  src/link/TSerialXmodem.cpp
  src/link/JobWait.cpp
  src/link/MachineOps.cpp
  src/link/TCommThread.cpp
  src/link/SimulatorProcess.cpp
  src/link/MachineNumbers.cpp
)
target_sources(grittor-cli-full PRIVATE
  src/app/cli/LinkCommands.cpp
)
