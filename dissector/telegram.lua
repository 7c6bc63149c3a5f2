-- The scanner's telegrams in Wireshark and tshark: a dissector for the UDP
-- payloads that telegram-receiver reports, on UDP port 9999 and, through
-- "Decode As", on any other.
--
-- It decodes a telegram exactly as the receiver does: every field is read
-- little-endian at its fixed offset; a field that does not lie wholly
-- inside the datagram reads as 0 (and is marked); the beam count is the
-- ceiling of (BeamStop - BeamStart) / BeamStep, plus 1, in double precision
-- (0 for a step of 0); the block values run from byte 20 up to TotalSize
-- and stop at the bytes received. Beside the raw unsigned fields it gives
-- the numbers as the report prints them (a ScanNo of 2^31 or more, and
-- TotalSize, as signed 32-bit numbers), so that a filter finds what the
-- report shows. Bytes that the capture did not keep (its snap length) are
-- marked as not captured, never read as 0: the datagram's own length, not
-- the capture's, decides what the receiver read. An empty datagram, which
-- the receiver reports as type 0, carries no payload: the analyser shows it
-- as UDP with Len=0 and calls no dissector for it.
--
-- Install: the Debian package puts it in the analyser's global plugin
-- folder. Otherwise copy this file into the personal one (Help > About
-- Wireshark > Folders > Personal Lua Plugins: ~/.local/lib/wireshark/plugins
-- on Linux, %APPDATA%\Wireshark\plugins on Windows), or run
-- tshark -X lua_script:telegram.lua.

-- The telegram's layout and the facts the report is built on, as the
-- receiver has them (telegram/telegram_layout.h and report_format.h; a test
-- checks that both say the same).
local PORT = 9999
local HEADER_SIZE = 20
local TYPE_BEAM_RANGE = 1
local TYPE_BLOCK_VALUES = 6
local FIRST_BLOCK_WITH_VALUES = 0
local LAST_BLOCK_WITH_VALUES = 1
local TOTAL_SIZE_OFFSET = 0
local HEADER_BYTE4_OFFSET = 4
local HEADER_BYTE8_OFFSET = 8
local TELEGRAM_TYPE_OFFSET = 12
local BLOCK_NO_OFFSET = 14
local SCAN_NO_OFFSET = 16
local BEAM_START_OFFSET = 40
local BEAM_STOP_OFFSET = 42
local BEAM_STEP_OFFSET = 44

local telegram = Proto("telegram", "Scanner telegram")

local f = {
  total_size = ProtoField.uint32("telegram.total_size", "TotalSize", base.DEC),
  header_byte4 = ProtoField.uint8("telegram.header_byte4", "HeaderByte4", base.DEC),
  header_byte8 = ProtoField.uint8("telegram.header_byte8", "HeaderByte8", base.DEC),
  type = ProtoField.uint16("telegram.type", "TelegramType", base.DEC),
  beam_start = ProtoField.uint16("telegram.beam_start", "BeamStart", base.DEC),
  beam_stop = ProtoField.uint16("telegram.beam_stop", "BeamStop", base.DEC),
  beam_step = ProtoField.uint16("telegram.beam_step", "BeamStep", base.DEC),
  beam_count = ProtoField.int32("telegram.beam_count", "BeamCount", base.DEC),
  block_no = ProtoField.uint16("telegram.block_no", "BlockNo", base.DEC),
  scan_no = ProtoField.uint32("telegram.scan_no", "ScanNo", base.DEC),
  value_count = ProtoField.uint32("telegram.value_count", "Values", base.DEC),
  value = ProtoField.uint16("telegram.value", "Value", base.DEC),
  -- The numbers as the report prints them.
  report_total_size = ProtoField.int32("telegram.report_total_size", "TotalSize as reported", base.DEC),
  report_size = ProtoField.int32("telegram.report_size", "TotalSize - 20 as reported", base.DEC),
  report_scan_no = ProtoField.int32("telegram.report_scan_no", "ScanNo as reported", base.DEC),
}
telegram.fields = f

local expert_beyond = ProtoExpert.new("telegram.beyond_datagram", "Field beyond the datagram",
                                      expert.group.MALFORMED, expert.severity.WARN)
local expert_size = ProtoExpert.new("telegram.size_differs", "TotalSize differs from the datagram's length",
                                    expert.group.PROTOCOL, expert.severity.NOTE)
local expert_not_captured = ProtoExpert.new("telegram.not_captured", "Not captured (the capture's snap length)",
                                            expert.group.UNDECODED, expert.severity.NOTE)
telegram.experts = {expert_beyond, expert_size, expert_not_captured}

telegram.prefs.values_for_filters = Pref.bool("Values for display filters", false,
  "Add every block value to the tree even when no packet is shown, so that display filters on telegram.value " ..
  "see them. A block holds up to 32,743 values: this makes reading a capture about a hundred times slower.")

-- A 32-bit number as the report prints it: signed.
local function signed32(value)
  if value >= 2147483648 then return value - 4294967296 end
  return value
end

-- Adds the field of `width` bytes at `offset` and returns its value, as the
-- receiver reads it: 0 where it does not lie wholly inside the datagram.
-- Where it does, but the capture did not keep it, it is marked so and its
-- value is unknown: nil.
local function add_field(tree, buffer, field, offset, width, name)
  if offset + width <= buffer:len() then
    local range = buffer(offset, width)
    tree:add_le(field, range)
    return range:le_uint()
  end
  local datagram = buffer:reported_len()
  if offset + width <= datagram then
    local item = tree:add(telegram, buffer(0, 0), string.format("%s: not captured", name))
    item:set_generated()
    item:add_proto_expert_info(expert_not_captured,
      string.format("%s at byte %d lies in the datagram's %d bytes, but the capture kept only %d", name, offset,
                    datagram, buffer:len()))
    return nil
  end
  local item = tree:add(field, 0)
  item:set_generated()
  item:add_proto_expert_info(expert_beyond,
    string.format("%s at byte %d lies beyond the datagram's %d bytes: the receiver reads it as 0",
                  name, offset, datagram))
  return 0
end

-- A generated field, where its value is known.
local function add_generated(tree, field, value)
  if value ~= nil then tree:add(field, value):set_generated() end
end

-- BeamCount as the receiver works it out.
local function beam_count(start, stop, step)
  if step == 0 then return 0 end
  return math.ceil((stop - start) / step) + 1
end

-- The number of 16-bit values in BlockValues as the receiver counts them:
-- those below TotalSize whose two bytes were both received.
local function value_count(total_size, received)
  local by_size = total_size > HEADER_SIZE and math.floor((total_size - HEADER_SIZE) / 2) or 0
  local by_received = received > HEADER_SIZE and math.floor((received - HEADER_SIZE) / 2) or 0
  return math.min(by_size, by_received)
end

-- A number for the Info column: "?" where the capture did not keep it.
local function shown(value)
  if value == nil then return "?" end
  return string.format("%d", value)
end

local function dissect_values(subtree, buffer, tree, total_size, datagram)
  if total_size == nil then return nil end
  local count = value_count(total_size, datagram)
  subtree:add(f.value_count, count):set_generated()
  -- The values, one item each: the receiver prints them for blocks 0
  -- and 1. A block holds up to 32,743 of them, so they are added only
  -- where a tree is shown or its fields are exported (tshark -V, -T
  -- fields, the packet selected in Wireshark), unless asked for always.
  -- Those the capture did not keep are counted, not made up.
  local captured = math.min(count, math.max(0, math.floor((buffer:len() - HEADER_SIZE) / 2)))
  if count > 0 and (tree.visible or telegram.prefs.values_for_filters) then
    if captured > 0 then
      local values = subtree:add(buffer(HEADER_SIZE, 2 * captured), "BlockValues")
      for i = 0, captured - 1 do
        values:add_le(f.value, buffer(HEADER_SIZE + 2 * i, 2))
      end
    end
  end
  if captured < count then
    subtree:add_proto_expert_info(expert_not_captured,
      string.format("%d of the %d block values were not captured", count - captured, count))
  end
  return count
end

function telegram.dissector(buffer, pinfo, tree)
  local datagram = buffer:reported_len()
  pinfo.cols.protocol = "TELEGRAM"
  local subtree = tree:add(telegram, buffer(), "Scanner telegram")

  local total_size = add_field(subtree, buffer, f.total_size, TOTAL_SIZE_OFFSET, 4, "TotalSize")
  if datagram >= 4 and total_size ~= nil and total_size ~= datagram then
    subtree:add_proto_expert_info(expert_size,
      string.format("TotalSize %d, datagram %d bytes", total_size, datagram))
  end
  add_field(subtree, buffer, f.header_byte4, HEADER_BYTE4_OFFSET, 1, "HeaderByte4")
  add_field(subtree, buffer, f.header_byte8, HEADER_BYTE8_OFFSET, 1, "HeaderByte8")
  local type = add_field(subtree, buffer, f.type, TELEGRAM_TYPE_OFFSET, 2, "TelegramType")

  if type == TYPE_BEAM_RANGE then
    local start = add_field(subtree, buffer, f.beam_start, BEAM_START_OFFSET, 2, "BeamStart")
    local stop = add_field(subtree, buffer, f.beam_stop, BEAM_STOP_OFFSET, 2, "BeamStop")
    local step = add_field(subtree, buffer, f.beam_step, BEAM_STEP_OFFSET, 2, "BeamStep")
    local count = nil
    if start ~= nil and stop ~= nil and step ~= nil then count = beam_count(start, stop, step) end
    add_generated(subtree, f.beam_count, count)
    add_generated(subtree, f.report_total_size, total_size and signed32(total_size))
    pinfo.cols.info = string.format("Type 1, BeamCount %s", shown(count))
  elseif type == TYPE_BLOCK_VALUES then
    local block = add_field(subtree, buffer, f.block_no, BLOCK_NO_OFFSET, 2, "BlockNo")
    local scan = add_field(subtree, buffer, f.scan_no, SCAN_NO_OFFSET, 4, "ScanNo")
    -- As the report prints them: TotalSize - 20 and ScanNo, signed.
    add_generated(subtree, f.report_size, total_size and signed32((total_size - HEADER_SIZE) % 4294967296))
    add_generated(subtree, f.report_scan_no, scan and signed32(scan))
    local count = dissect_values(subtree, buffer, tree, total_size, datagram)
    pinfo.cols.info = string.format("Type 6, scan %s, block %s, %s values", shown(scan and signed32(scan)),
                                    shown(block), shown(count))
    if block ~= nil and (block < FIRST_BLOCK_WITH_VALUES or block > LAST_BLOCK_WITH_VALUES) then
      -- The report prints the values of blocks 0 and 1 alone.
      pinfo.cols.info:append(" (values not in the report)")
    end
  elseif type == nil then
    pinfo.cols.info = "Type not captured"
  else
    pinfo.cols.info = string.format("Type %d", type)
  end
end

local udp_port = DissectorTable.get("udp.port")
udp_port:add(PORT, telegram)
udp_port:add_for_decode_as(telegram)
