-- Renders the test tone through the effect on a stereo track and exports the session's
-- master as a 32-bit float WAV, with the "None (Dummy)" backend: no sound card needed.
-- The track's fader, its balance at the centre and the master pass the signal at unity.
--
-- ardour7-lua ardour_render.lua SESSION_DIR FORMAT BOOST KNEE HARDNESS AMPLITUDE FREQUENCY FRAMES OUT_DIR
--   FORMAT: LXVST or LV2. BOOST is the gain factor 1..11; the VST module takes it as
--   (gain - 1) / 10, the LV2 plug-in as the gain itself.

local session_dir, format, boost, knee, hardness, amplitude, frequency, frames, out_dir = table.unpack (arg)
local export_preset = "5d3f0f6e-8b0a-4c55-9d1e-3b7c2a6e9f10" -- ardour-float-wav.preset
boost = tonumber (boost)

local function fail (message)
	print ("ardour_render.lua: " .. message)
	close_session ()
	os.exit (1)
end

assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no dummy backend")
local s = create_session (session_dir, "render", 48000)
assert (s, "cannot create a session in " .. session_dir)

local tracks = s:new_audio_track (2, 2, nil, 1, "tone", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal,
	false, false)
if tracks:size () ~= 1 then fail ("cannot make a stereo track") end
local track = tracks:front ()
local tone = ARDOUR.LuaAPI.new_luaproc (s, "Test Tone")
if tone:isnil () then fail ("the Test Tone script was not found") end
ARDOUR.LuaAPI.set_processor_param (tone, 0, tonumber (amplitude))
ARDOUR.LuaAPI.set_processor_param (tone, 1, tonumber (frequency))
if track:add_processor_by_index (tone, 0, nil, true) ~= 0 then fail ("cannot add the tone") end

local effect = ARDOUR.LuaAPI.new_plugin (s, "SoftKneeShaper", ARDOUR.PluginType[format], "")
if effect:isnil () then fail ("Ardour does not know the " .. format .. " plug-in SoftKneeShaper") end
if track:add_processor_by_index (effect, 1, nil, true) ~= 0 then fail ("cannot add the effect") end
if format == "LXVST" then boost = (boost - 1) / 10 end
local values = { boost, tonumber (knee), tonumber (hardness) }
for i, v in ipairs (values) do
	if not ARDOUR.LuaAPI.set_processor_param (effect, i - 1, v) then fail ("cannot set parameter " .. (i - 1)) end
end
print (string.format ("%s plug-in, parameters %g %g %g", format, values[1], values[2], values[3]))
local chain = {}
for i = 0, 100 do
	local p = track:nth_processor (i)
	if p:isnil () then break end
	chain[#chain + 1] = p:display_name ()
end
print ("track: " .. table.concat (chain, " > "))

local export = s:simple_export ()
export:set_name ("render")
export:set_folder (out_dir)
export:set_range (0, tonumber (frames))
if not export:set_preset (export_preset) then fail ("no export preset " .. export_preset) end
if not export:run_export () then fail ("the export failed") end
close_session ()
