-- The scanner's telegrams in Wireshark and tshark: a dissector for the UDP
-- payloads that telegram-receiver reports, on UDP port 9999 and, through
-- "Decode As", on any other.
--
-- It decodes a telegram exactly as the receiver does: every field is read
-- little-endian at its fixed offset; a field that does not lie wholly
-- inside the datagram reads as 0 (and is marked); the beam count is the
-- ceiling of (BeamStop - BeamStart) / BeamStep, plus 1, in double precision
-- (0 for a step of 0); the block values run from byte 20 up to TotalSize
-- and stop at the bytes received. An empty datagram, which the receiver
-- reports as type 0, carries no payload: the analyser shows it as UDP with
-- Len=0 and calls no dissector for it.
--
-- Install: the Debian package puts it in the analyser's global plugin
-- folder. Otherwise copy this file into the personal one (Help > About
-- Wireshark > Folders > Personal Lua Plugins: ~/.local/lib/wireshark/plugins
-- on Linux, %APPDATA%\Wireshark\plugins on Windows), or run
-- tshark -X lua_script:telegram.lua.

local telegram = Proto("telegram", "Scanner telegram")

local HEADER_SIZE = 20
local PORT = 9999

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
}
telegram.fields = f

local expert_beyond = ProtoExpert.new("telegram.beyond_datagram", "Field beyond the datagram",
                                      expert.group.MALFORMED, expert.severity.WARN)
local expert_size = ProtoExpert.new("telegram.size_differs", "TotalSize differs from the datagram's length",
                                    expert.group.PROTOCOL, expert.severity.NOTE)
telegram.experts = {expert_beyond, expert_size}

telegram.prefs.values_for_filters = Pref.bool("Values for display filters", false,
  "Add every block value to the tree even when no packet is shown, so that display filters on telegram.value " ..
  "see them. A block holds up to 32,743 values: this makes reading a capture about a hundred times slower.")

-- Adds the field of `width` bytes at `offset` and returns its value, as the
-- receiver reads it: 0 where it does not lie wholly inside the datagram.
local function add_field(tree, buffer, field, offset, width, name)
  if offset + width <= buffer:len() then
    local range = buffer(offset, width)
    tree:add_le(field, range)
    return range:le_uint()
  end
  local item = tree:add(field, 0)
  item:set_generated()
  item:add_proto_expert_info(expert_beyond,
    string.format("%s at byte %d lies beyond the datagram's %d bytes: the receiver reads it as 0",
                  name, offset, buffer:len()))
  return 0
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

function telegram.dissector(buffer, pinfo, tree)
  local received = buffer:len()
  pinfo.cols.protocol = "TELEGRAM"
  local subtree = tree:add(telegram, buffer(), "Scanner telegram")

  local total_size = add_field(subtree, buffer, f.total_size, 0, 4, "TotalSize")
  if received >= 4 and total_size ~= received then
    subtree:add_proto_expert_info(expert_size,
      string.format("TotalSize %d, datagram %d bytes", total_size, received))
  end
  add_field(subtree, buffer, f.header_byte4, 4, 1, "HeaderByte4")
  add_field(subtree, buffer, f.header_byte8, 8, 1, "HeaderByte8")
  local type = add_field(subtree, buffer, f.type, 12, 2, "TelegramType")

  if type == 1 then
    local start = add_field(subtree, buffer, f.beam_start, 40, 2, "BeamStart")
    local stop = add_field(subtree, buffer, f.beam_stop, 42, 2, "BeamStop")
    local step = add_field(subtree, buffer, f.beam_step, 44, 2, "BeamStep")
    local count = beam_count(start, stop, step)
    subtree:add(f.beam_count, count):set_generated()
    pinfo.cols.info = string.format("Type 1, BeamCount %d", count)
  elseif type == 6 then
    local block = add_field(subtree, buffer, f.block_no, 14, 2, "BlockNo")
    local scan = add_field(subtree, buffer, f.scan_no, 16, 4, "ScanNo")
    local count = value_count(total_size, received)
    subtree:add(f.value_count, count):set_generated()
    pinfo.cols.info = string.format("Type 6, scan %d, block %d, %d values", scan, block, count)
    -- The values, one item each: the receiver prints them for blocks 0
    -- and 1. A block holds up to 32,743 of them, so they are added only
    -- where a tree is shown or its fields are exported (tshark -V, -T
    -- fields, the packet selected in Wireshark), unless asked for always.
    if count > 0 and (tree.visible or telegram.prefs.values_for_filters) then
      local values = subtree:add(buffer(HEADER_SIZE, 2 * count), "BlockValues")
      for i = 0, count - 1 do
        values:add_le(f.value, buffer(HEADER_SIZE + 2 * i, 2))
      end
    end
  else
    pinfo.cols.info = string.format("Type %d", type)
  end
end

local udp_port = DissectorTable.get("udp.port")
udp_port:add(PORT, telegram)
udp_port:add_for_decode_as(telegram)
